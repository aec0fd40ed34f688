# Shared by the mingw-w64 toolchain files; VELMORA_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The threading variant of the compilers. Velmora.dll is built with win32, without
# winpthreads: with the posix variant, the DLL's static winpthreads hung the host at process
# exit once a second thread had used the plug-in. GoogleTest needs std::mutex, which only the posix
# variant has, so the Windows tests are built in a build of their own with posix.
set(VELMORA_MINGW_THREADS win32 CACHE STRING "Threading variant of the mingw-w64 compilers (win32 or posix)")
foreach(lang_tool C:gcc CXX:g++)
  string(REPLACE ":" ";" pair ${lang_tool})
  list(GET pair 0 lang)
  list(GET pair 1 tool)
  find_program(VELMORA_MINGW_${lang}_${VELMORA_MINGW_THREADS}
               NAMES ${VELMORA_MINGW_TRIPLE}-${tool}-${VELMORA_MINGW_THREADS} REQUIRED)
  set(CMAKE_${lang}_COMPILER ${VELMORA_MINGW_${lang}_${VELMORA_MINGW_THREADS}})
endforeach()
find_program(CMAKE_RC_COMPILER NAMES ${VELMORA_MINGW_TRIPLE}-windres REQUIRED)
find_program(VELMORA_WIDL NAMES ${VELMORA_MINGW_TRIPLE}-widl widl REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only system DLLs at run time: the C and C++ runtimes are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# -O2 rather than -O3 for the shipped DLL: GCC 12's -O3 reports std::string copies as
# overlapping (-Wrestrict, GCC bug 105651), which -Werror turns into a broken build.
# -g: the shipped DLL is stripped after linking, its symbols kept in a file beside it.
set(CMAKE_C_FLAGS_RELEASE "-O2 -g -DNDEBUG" CACHE STRING "Flags for release builds" FORCE)
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -g -DNDEBUG" CACHE STRING "Flags for release builds" FORCE)
