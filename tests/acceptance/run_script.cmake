# Runs one acceptance script and compares what velmora-host printed with what it must print.
# Inputs: HOST (velmora-host), SCRIPT (NAME.vms), WORK (a scratch folder for the store).
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${SCRIPT} NAME_WE)
set(expectedFile ${dir}/${name}.expected)
set(stderrFile ${dir}/${name}.stderr)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

set(expectedExit 0)
file(STRINGS ${SCRIPT} exitLines REGEX "^# expect-exit: [0-9]+$")
if(exitLines)
  string(REGEX REPLACE "^# expect-exit: " "" expectedExit "${exitLines}")
endif()

execute_process(COMMAND ${HOST} --script ${name}.vms --store ${WORK}/registry.reg
                WORKING_DIRECTORY ${dir}
                OUTPUT_FILE ${WORK}/actual.out ERROR_FILE ${WORK}/actual.err RESULT_VARIABLE exitCode)

set(failed FALSE)
if(NOT exitCode STREQUAL expectedExit)
  file(READ ${WORK}/actual.err err)
  message(SEND_ERROR "${name}: exit code ${exitCode}, expected ${expectedExit}\n${err}")
  set(failed TRUE)
endif()

function(compare expected actual what)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${expected} ${actual} RESULT_VARIABLE differs)
  if(differs)
    execute_process(COMMAND diff -u ${expected} ${actual} OUTPUT_VARIABLE diffText)
    message(SEND_ERROR "${name}: ${what} differs from ${expected}\n${diffText}")
    set(failed TRUE PARENT_SCOPE)
  endif()
endfunction()

if(EXISTS ${expectedFile})
  compare(${expectedFile} ${WORK}/actual.out "output")
else()
  message(SEND_ERROR "${name}: ${expectedFile} is missing")
endif()
if(EXISTS ${stderrFile})
  compare(${stderrFile} ${WORK}/actual.err "stderr")
endif()
