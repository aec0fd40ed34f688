; The Velmora setup program. Per user by default, with no administrator rights: both DLLs
; under %LOCALAPPDATA%\Programs\Velmora, registered for the current user. /ALLUSERS installs
; under Program Files and registers machine-wide. /S runs silently.
;
; The setup is a 64-bit program: every Windows it serves is 64-bit (32-bit Windows takes the
; zip and regsvr32). The x86 DLL is for 32-bit hosts, so it is installed wherever Windows runs
; 32-bit programs, that is where its 32-bit subsystem (SysWOW64) is present.
;
; One program serves both scopes, so it is manifested asInvoker (a per-user install and
; uninstall never ask for rights, and Windows' installer detection does not elevate it behind
; its back). For all users, without administrator rights, the setup and the uninstaller restart
; themselves with the "runas" verb, which shows the UAC prompt, and wait for that instance; the
; instance started so carries /ELEVATED. With the environment variable
; VELMORA_SETUP_AS_STANDARD_USER set, the first instance takes itself for a standard user, so
; the restart can be tested where everyone is an administrator.
;
; scripts/package.sh builds it with these definitions:
;   VERSION          the version text of the DLLs' version record, e.g. 1.00.0015
;   VERSION_NUMBERS  the same as four numbers, e.g. 1.0.0.15
;   X64_DLL, X86_DLL the two Velmora.dll files
;   OUTFILE          the setup program to write
;
; Exit codes (setup and uninstaller), each also the last line of the log,
; %TEMP%\Velmora-setup.log:
;   0 done
;   1 cancelled by the user, also at the UAC prompt; nothing was changed
;   2 a Velmora.dll to be replaced or removed is loaded by a running program; nothing was changed
;   3 for all users, and administrator rights could not be had; nothing was changed
;   4 a file could not be written or a DLL not (un)registered; everything is as it was before
;   5 as 4, but not everything could be put back: the message and the log say what and what to do
;   6 installed, moved from an earlier folder whose files could not all be removed (named)

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!ifndef VERSION | VERSION_NUMBERS | X64_DLL | X86_DLL | OUTFILE
  !error "Define VERSION, VERSION_NUMBERS, X64_DLL, X86_DLL and OUTFILE (scripts/package.sh does)"
!endif

!define PRODUCT "Velmora"
!define PUBLISHER "The Velmora developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define UNINSTALLER "Uninstall.exe"
!define LOG "$TEMP\Velmora-setup.log"
; What Velmora.dll registers: its class, its type library and its interface.
!define CLSID "{51E745C5-6F40-4C3C-902A-F76577C980BB}"
!define LIBID "{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}"
!define IID "{533187F7-2616-4B52-80F7-B448360BC12A}"
!define PROGID "Velmora.clsVelmora"

; 1, cancelled by the user, is the code NSIS itself gives.
!define EXIT_CANCELLED 1
!define EXIT_IN_USE 2
!define EXIT_NEEDS_ADMIN 3
!define EXIT_FAILED 4
!define EXIT_NOT_RESTORED 5
!define EXIT_OLD_FOLDER_LEFT 6

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_NUMBERS}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var AllUsers      ; 1 with /ALLUSERS
Var Elevated      ; 1 in the instance an earlier one restarted with the "runas" verb
Var WithX86       ; 1 where Windows runs 32-bit programs
Var ScopeText     ; how the pages name the chosen scope
Var RegsvrScope   ; the regsvr32 options that choose the registration's scope
Var RegRoot       ; the scope's registry root as reg.exe names it
Var InUse         ; the first DLL found loaded, or empty
Var Failed        ; 1 once a step failed
Var Unrestored    ; what a rollback could not put back, a line each
Var Added         ; the files this run put where none was, each as |path|
Var OldDir        ; the folder of this scope's earlier install, when the setup moves it

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Install ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} keeps a live counter in your messenger nickname.$\r$\n$\r$\nSetup installs it $ScopeText, in$\r$\n$INSTDIR$\r$\n$\r$\nClose the messenger before you go on. Your ${PRODUCT} settings are kept.$\r$\n$\r$\nClick Install to start."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} is installed $ScopeText.$\r$\n$\r$\nStart the messenger: ${PRODUCT} is in its list of plug-ins."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ${LogLine} "text": a line in the details and in the log, which both programs append to.
!macro LogLine TEXT
  Push `${TEXT}`
  !ifdef __UNINSTALL__
    Call un.WriteLog
  !else
    Call WriteLog
  !endif
!macroend
!define LogLine "!insertmacro LogLine"

; ${Exit} code "text": logs the exit code with its reason and ends the program with it.
!macro Exit CODE TEXT
  ${LogLine} "exit ${CODE}: ${TEXT}"
  SetErrorLevel ${CODE}
!macroend
!define Exit "!insertmacro Exit"

; ${SetRegViewOf} $x: the registry view $x (32 or 64) for the registry instructions that follow.
!macro SetRegViewOf VIEW
  ${If} ${VIEW} == 32
    SetRegView 32
  ${Else}
    SetRegView 64
  ${EndIf}
!macroend
!define SetRegViewOf "!insertmacro SetRegViewOf"

; --- Shared by the setup and the uninstaller (prefix "" or "un.") ----------------------------

!macro DefineShared PREFIX
  Function ${PREFIX}WriteLog
    Exch $R9
    Push $R8
    DetailPrint $R9
    !ifdef __UNINSTALL__
      StrCpy $R9 "uninstall: $R9"
    !else
      StrCpy $R9 "setup: $R9"
    !endif
    ClearErrors
    FileOpen $R8 "${LOG}" a
    ${IfNot} ${Errors}
      FileSeek $R8 0 END
      FileWriteUTF16LE /BOM $R8 "$R9$\r$\n"
      FileClose $R8
    ${EndIf}
    ClearErrors
    Pop $R8
    Pop $R9
  FunctionEnd

  ; $R0 and $R1 name one file or folder: $R2 is 1 when they do, however spelled, else 0.
  Function ${PREFIX}SameFile
    StrCpy $R2 0
    ${If} $R0 == $R1
      StrCpy $R2 1
      Return
    ${EndIf}
    GetFullPathName /SHORT $R3 $R0
    GetFullPathName /SHORT $R4 $R1
    ClearErrors
    ${If} $R3 != ""
    ${AndIf} $R3 == $R4
      StrCpy $R2 1
    ${EndIf}
  FunctionEnd

  ; Sets $R1 to 1 when this process has administrator rights, else 0.
  Function ${PREFIX}HasAdminRights
    StrCpy $R1 0
    ReadEnvStr $R2 VELMORA_SETUP_AS_STANDARD_USER
    ${If} $R2 != ""
    ${AndIf} $Elevated != 1
      Return
    ${EndIf}
    UserInfo::GetAccountType
    Pop $R2
    ${If} $R2 == "Admin"
      StrCpy $R1 1
    ${EndIf}
  FunctionEnd

  ; Starts this program again with the "runas" verb (Windows asks the user for administrator
  ; rights), waits for it and ends with its exit code. Never returns.
  Function ${PREFIX}RestartElevated
    ; NSIS keeps /D= and the uninstaller's _?= out of the parameters; both must come last.
    ${GetParameters} $R0
    !ifdef __UNINSTALL__
      StrCpy $R0 "/ELEVATED $R0 _?=$INSTDIR"
    !else
      ${If} $INSTDIR != ""
        StrCpy $R0 "/ELEVATED $R0 /D=$INSTDIR"
      ${Else}
        StrCpy $R0 "/ELEVATED $R0"
      ${EndIf}
    !endif
    ${LogLine} "no administrator rights: restarting with the $\"runas$\" verb: $\"$EXEPATH$\" $R0"
    ; SHELLEXECUTEINFOW laid out for 64 bits, padding written out;
    ; SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC, SW_SHOWNORMAL.
    System::Call '*(i 112, i 0x140, p 0, w "runas", w "$EXEPATH", w R0, p 0, i 1, i 0, p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p.R1'
    System::Call 'shell32::ShellExecuteExW(p R1) i.R2 ?e'
    Pop $R3
    ${If} $R2 == 0
      System::Free $R1
      ${If} $R3 == 1223  ; ERROR_CANCELLED: the user answered No
        ${Exit} ${EXIT_CANCELLED} "the request for administrator rights was declined; nothing was changed"
        Quit
      ${EndIf}
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} for all users is installed and removed with administrator rights only, and Windows could not start this program with them (error $R3).$\r$\nRun the program as administrator, or the setup without /ALLUSERS to install ${PRODUCT} for yourself." /SD IDOK
      ${Exit} ${EXIT_NEEDS_ADMIN} "could not restart with administrator rights (error $R3); nothing was changed"
      Quit
    ${EndIf}
    System::Call '*$R1(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p .R4)'
    System::Free $R1
    System::Call 'kernel32::WaitForSingleObject(p R4, i -1)'
    System::Call 'kernel32::GetExitCodeProcess(p R4, *i .R5)'
    System::Call 'kernel32::CloseHandle(p R4)'
    ${LogLine} "exit $R5: the code of the instance with administrator rights"
    SetErrorLevel $R5
    Quit
  FunctionEnd

  ; Reads /ALLUSERS (unless $AllUsers is 1 already) and /ELEVATED, and chooses the shell
  ; folders, the registry root (SHCTX) and the registration scope. For all users without
  ; administrator rights it restarts itself with them.
  Function ${PREFIX}ChooseScope
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/ELEVATED" $R1
    ${IfNot} ${Errors}
      StrCpy $Elevated 1
    ${EndIf}
    ${If} $AllUsers != 1
      ClearErrors
      ${GetOptions} $R0 "/ALLUSERS" $R1
      ${If} ${Errors}
        StrCpy $AllUsers 0
      ${Else}
        StrCpy $AllUsers 1
      ${EndIf}
    ${EndIf}
    ClearErrors
    StrCpy $WithX86 0
    ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
      StrCpy $WithX86 1
    ${EndIf}
    ${If} $AllUsers == 0
      SetShellVarContext current
      StrCpy $ScopeText "for you"
      StrCpy $RegsvrScope "/n /i:user"
      StrCpy $RegRoot "HKCU"
    ${Else}
      Call ${PREFIX}HasAdminRights
      ${If} $R1 != 1
        ${If} $Elevated == 1
          ; Restarted with the verb and still without rights: a standard user with UAC off.
          MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} for all users is installed and removed with administrator rights only.$\r$\nRun this program as administrator, or the setup without /ALLUSERS to install ${PRODUCT} for yourself." /SD IDOK
          ${Exit} ${EXIT_NEEDS_ADMIN} "restarted for administrator rights and still has none; nothing was changed"
          Quit
        ${EndIf}
        Call ${PREFIX}RestartElevated
      ${EndIf}
      SetShellVarContext all
      StrCpy $ScopeText "for all users"
      StrCpy $RegsvrScope ""
      StrCpy $RegRoot "HKLM"
    ${EndIf}
  FunctionEnd

  ; Sets $InUse to the first Velmora.dll of this install (or of the one it moves) that cannot be
  ; opened for writing with no sharing: a process that has loaded a DLL keeps it from being
  ; overwritten or deleted.
  Function ${PREFIX}FindDllInUse
    StrCpy $InUse ""
    StrCpy $0 "$INSTDIR\x64\Velmora.dll"
    Call ${PREFIX}CheckOneDll
    StrCpy $0 "$INSTDIR\x86\Velmora.dll"
    Call ${PREFIX}CheckOneDll
    ${If} $OldDir != ""
      StrCpy $0 "$OldDir\x64\Velmora.dll"
      Call ${PREFIX}CheckOneDll
      StrCpy $0 "$OldDir\x86\Velmora.dll"
      Call ${PREFIX}CheckOneDll
    ${EndIf}
  FunctionEnd

  Function ${PREFIX}CheckOneDll
    ${If} $InUse != ""
    ${OrIfNot} ${FileExists} $0
      Return
    ${EndIf}
    ; GENERIC_READ | GENERIC_WRITE, no sharing, OPEN_EXISTING
    System::Call 'kernel32::CreateFileW(w r0, i 0xC0000000, i 0, p 0, i 3, i 0x80, p 0) p.r1'
    ${If} $1 P<> -1
      System::Call 'kernel32::CloseHandle(p r1)'
    ${Else}
      StrCpy $InUse $0
    ${EndIf}
  FunctionEnd

  ; Asks until no DLL is loaded any more; silent or cancelled, ends with EXIT_IN_USE.
  Function ${PREFIX}WaitUntilNotInUse
    ${Do}
      Call ${PREFIX}FindDllInUse
      ${If} $InUse == ""
        Return
      ${EndIf}
      ${LogLine} "In use: $InUse"
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$InUse is in use: a running program, most likely the messenger, has loaded it.$\r$\n$\r$\nClose that program and choose Retry, or Cancel to leave ${PRODUCT} as it is." /SD IDCANCEL IDRETRY retry
      ${Exit} ${EXIT_IN_USE} "$InUse is in use; nothing was changed"
      Abort "${PRODUCT} is in use; nothing was changed."
      retry:
    ${Loop}
  FunctionEnd

  ; regsvr32 of the DLL's own bitness: $0 is the architecture folder, $1 "" or "/u".
  ; Sets $Failed when the DLL reports a failure.
  Function ${PREFIX}Regsvr32
    ${IfNot} ${FileExists} "$INSTDIR\$0\Velmora.dll"
      Return
    ${EndIf}
    ClearErrors
    ${If} $0 == "x64"
      ExecWait '"$SYSDIR\regsvr32.exe" /s $1 $RegsvrScope "$INSTDIR\$0\Velmora.dll"' $2
    ${Else}
      ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s $1 $RegsvrScope "$INSTDIR\$0\Velmora.dll"' $2
    ${EndIf}
    ${If} ${Errors}
    ${OrIf} $2 != 0
      ${LogLine} "regsvr32 $1 $RegsvrScope $INSTDIR\$0\Velmora.dll failed ($2)"
      StrCpy $Failed 1
    ${Else}
      ${LogLine} "regsvr32 $1 $RegsvrScope $INSTDIR\$0\Velmora.dll"
    ${EndIf}
  FunctionEnd

  ; $R2 (a key below the scope's root) exists in the view $R3 (32 or 64): $R5 is 1, else 0.
  Function ${PREFIX}KeyExists
    ${SetRegViewOf} $R3
    ClearErrors
    EnumRegKey $R5 SHCTX $R2 0
    ${If} ${Errors}
      StrCpy $R5 0
    ${Else}
      StrCpy $R5 1
    ${EndIf}
    ClearErrors
    SetRegView default
  FunctionEnd

  ; Every key a registration or this program writes, as it is before anything changes, so a
  ; failure puts back exactly what was there, whoever wrote it (an earlier setup, or regsvr32
  ; by hand): saved-$R1.reg holds key $R2 of view $R3, and no file means there was no key.
  Function ${PREFIX}SaveKey
    Delete "$PLUGINSDIR\saved-$R1.reg"
    Call ${PREFIX}KeyExists
    ${If} $R5 == 0
      Return
    ${EndIf}
    nsExec::Exec '"$SYSDIR\reg.exe" export "$RegRoot\$R2" "$PLUGINSDIR\saved-$R1.reg" /y /reg:$R3'
    Pop $R4
    ${If} $R4 != 0
      ${LogLine} "could not save $RegRoot\$R2 (/reg:$R3): reg export ended with $R4"
      StrCpy $Failed 1
    ${EndIf}
  FunctionEnd

  ; Puts key $R2 of view $R3 back as SaveKey found it.
  Function ${PREFIX}RestoreKey
    ${SetRegViewOf} $R3
    DeleteRegKey SHCTX $R2
    SetRegView default
    ClearErrors
    ${If} ${FileExists} "$PLUGINSDIR\saved-$R1.reg"
      nsExec::Exec '"$SYSDIR\reg.exe" import "$PLUGINSDIR\saved-$R1.reg" /reg:$R3'
      Pop $R4
      ${If} $R4 != 0
        StrCpy $Unrestored "$Unrestored$\r$\nThe registry key $RegRoot\$R2 (view /reg:$R3) could not be put back (reg import ended with $R4)."
      ${EndIf}
    ${Else}
      Call ${PREFIX}KeyExists
      ${If} $R5 == 1
        StrCpy $Unrestored "$Unrestored$\r$\nThe registry key $RegRoot\$R2 (view /reg:$R3), which was not there before, could not be removed."
      ${EndIf}
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro DefineShared ""
!insertmacro DefineShared "un."

; Calls FN for every key SaveKey keeps: index $R1, key $R2, view $R3. The ProgID and the type
; library are shared by both views; the class and the interface have one key in each.
!macro ForEachSavedKey FN
  StrCpy $R3 64
  StrCpy $R1 0
  StrCpy $R2 "Software\Classes\${PROGID}"
  Call ${FN}
  StrCpy $R1 1
  StrCpy $R2 "Software\Classes\TypeLib\${LIBID}"
  Call ${FN}
  StrCpy $R1 2
  StrCpy $R2 "Software\Classes\CLSID\${CLSID}"
  Call ${FN}
  StrCpy $R1 3
  StrCpy $R2 "Software\Classes\Interface\${IID}"
  Call ${FN}
  StrCpy $R1 4
  StrCpy $R2 "${UNINSTALL_KEY}"
  Call ${FN}
  ${If} $WithX86 == 1
    StrCpy $R3 32
    StrCpy $R1 5
    StrCpy $R2 "Software\Classes\CLSID\${CLSID}"
    Call ${FN}
    StrCpy $R1 6
    StrCpy $R2 "Software\Classes\Interface\${IID}"
    Call ${FN}
  ${EndIf}
!macroend

; The architectures this Windows runs.
!macro ForEachArch BODY
  StrCpy $0 "x64"
  Call ${BODY}
  ${If} $WithX86 == 1
    StrCpy $0 "x86"
    Call ${BODY}
  ${EndIf}
!macroend

; --- Setup -------------------------------------------------------------------------------------

Function .onInit
  Call ChooseScope
  ; /D= names the folder; otherwise an earlier install of this scope is upgraded where it is.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; One install per scope: an earlier one in another folder (/D=) is moved, its files removed
; once this one works.
Function FindOldDir
  StrCpy $OldDir ""
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ClearErrors
  ${If} $R0 == ""
    Return
  ${EndIf}
  StrCpy $R1 $INSTDIR
  Call SameFile
  ${If} $R2 == 0
  ${AndIf} ${FileExists} "$R0\*.*"
    StrCpy $OldDir $R0
    ${LogLine} "moving the install from $OldDir"
  ${EndIf}
FunctionEnd

; $R5 is 1 when $R0 is one of the files this run added (where there was none), else 0.
Function IsAdded
  StrCpy $R5 0
  StrLen $R6 "|$R0|"
  StrCpy $R7 0
  ${Do}
    StrCpy $R8 $Added $R6 $R7
    ${If} $R8 == ""
      Return
    ${EndIf}
    ${If} $R8 == "|$R0|"
      StrCpy $R5 1
      Return
    ${EndIf}
    IntOp $R7 $R7 + 1
  ${Loop}
FunctionEnd

; Velmora.dll.new beside Velmora.dll: the new file is written in full before any old one moves.
; A .old left by a setup that was killed half-way must not be taken for this one's.
Function StageNew
  CreateDirectory "$INSTDIR\$0"
  Delete "$INSTDIR\$0\Velmora.dll.new"
  Delete "$INSTDIR\$0\Velmora.dll.old"
  SetOutPath "$INSTDIR\$0"
  SetOverwrite try
  ${If} $0 == "x64"
    File "/oname=Velmora.dll.new" "${X64_DLL}"
  ${Else}
    File "/oname=Velmora.dll.new" "${X86_DLL}"
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\$0\Velmora.dll.new"
    ${LogLine} "could not write $INSTDIR\$0\Velmora.dll.new"
    StrCpy $Failed 1
  ${EndIf}
FunctionEnd

; $R0 becomes $R0.old and $R0.new becomes $R0.
Function SwapIn
  ${If} $Failed == 1
    Return
  ${EndIf}
  ClearErrors
  Delete "$R0.old"
  ${If} ${FileExists} "$R0"
    Rename "$R0" "$R0.old"
  ${Else}
    StrCpy $Added "$Added|$R0|"
  ${EndIf}
  ${IfNot} ${Errors}
    Rename "$R0.new" "$R0"
  ${EndIf}
  ${If} ${Errors}
    ${LogLine} "could not put $R0 in place"
    StrCpy $Failed 1
  ${EndIf}
FunctionEnd

Function SwapInDll
  StrCpy $R0 "$INSTDIR\$0\Velmora.dll"
  Call SwapIn
FunctionEnd

; Undoes SwapIn for $R0: the earlier file returns under its name, replacing the new one in one
; step, so the name never stands empty; a file that was not there before goes.
Function RestoreFile
  ${If} ${FileExists} "$R0.old"
    ; A virus scanner may hold it for a moment.
    StrCpy $R6 0
    ${Do}
      System::Call 'kernel32::MoveFileExW(w "$R0.old", w R0, i 1) i.R5'  ; MOVEFILE_REPLACE_EXISTING
      ${If} $R5 != 0
      ${OrIf} $R6 >= 10
        ${Break}
      ${EndIf}
      IntOp $R6 $R6 + 1
      Sleep 300
    ${Loop}
    ${If} $R5 == 0
      StrCpy $Unrestored "$Unrestored$\r$\nThe earlier $R0 could not be put back: a program holds it. It is $R0.old now, and $R0 is the new one. Rename $R0.old to Velmora.dll (or run the setup of the earlier version again) once that program has let go of it."
    ${EndIf}
  ${Else}
    Call IsAdded
    ${If} $R5 == 1
      Delete "$R0"
      ${If} ${FileExists} "$R0"
        StrCpy $Unrestored "$Unrestored$\r$\n$R0, which was not there before, could not be removed."
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Delete "$R0.new"
  ClearErrors
FunctionEnd

Function RestoreDll
  StrCpy $R0 "$INSTDIR\$0\Velmora.dll"
  Call RestoreFile
  RMDir "$INSTDIR\$0"
FunctionEnd

Function DropOld
  Delete "$INSTDIR\$0\Velmora.dll.old"
FunctionEnd

Function Register
  StrCpy $1 ""
  Call Regsvr32
FunctionEnd

; Puts back the registry and the files as they were before this run and ends: $R0 says what
; failed.
Function FailInstall
  Push $R0
  ${LogLine} "$R0: putting back what was there"
  SetOutPath "$TEMP"  ; Windows removes no folder that is a process's current one
  !insertmacro ForEachSavedKey RestoreKey
  !insertmacro ForEachArch RestoreDll
  StrCpy $R0 "$INSTDIR\${UNINSTALLER}"
  Call RestoreFile
  RMDir "$INSTDIR"
  Pop $R0
  ${If} $Unrestored == ""
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be installed: $R0.$\r$\nEverything is as it was before." /SD IDOK
    ${Exit} ${EXIT_FAILED} "$R0; everything is as it was before"
    Abort "${PRODUCT} could not be installed; everything is as it was before."
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be installed: $R0.$\r$\nNot everything could be put back as it was:$Unrestored" /SD IDOK
  ${Exit} ${EXIT_NOT_RESTORED} "$R0; not everything could be put back:$Unrestored"
  Abort "${PRODUCT} could not be installed, and not everything could be put back."
FunctionEnd

; After a move: the earlier folder's files go. Its registration was replaced by this one's,
; so nothing is unregistered.
Function RemoveOldDir
  StrCpy $R1 ""
  StrCpy $0 "x64"
  Call RemoveOldDll
  StrCpy $0 "x86"
  Call RemoveOldDll
  Delete "$OldDir\${UNINSTALLER}"
  ${If} ${FileExists} "$OldDir\${UNINSTALLER}"
    StrCpy $R1 "$R1$\r$\n$OldDir\${UNINSTALLER}"
  ${EndIf}
  RMDir "$OldDir"
  ClearErrors
FunctionEnd

Function RemoveOldDll
  Delete "$OldDir\$0\Velmora.dll.new"
  Delete "$OldDir\$0\Velmora.dll.old"
  Delete "$OldDir\$0\Velmora.dll"
  ${If} ${FileExists} "$OldDir\$0\Velmora.dll"
    StrCpy $R1 "$R1$\r$\n$OldDir\$0\Velmora.dll"
  ${EndIf}
  RMDir "$OldDir\$0"
FunctionEnd

Section "Velmora"
  SetDetailsPrint both
  StrCpy $Failed 0
  StrCpy $Unrestored ""
  StrCpy $Added ""
  ${LogLine} "${PRODUCT} ${VERSION} $ScopeText in $INSTDIR"
  Call FindOldDir
  Call WaitUntilNotInUse

  InitPluginsDir
  !insertmacro ForEachSavedKey SaveKey
  ${If} $Failed == 1
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be installed: the registration as it is could not be saved.$\r$\nNothing was changed." /SD IDOK
    ${Exit} ${EXIT_FAILED} "the registration as it is could not be saved; nothing was changed"
    Abort "${PRODUCT} could not be installed; nothing was changed."
  ${EndIf}

  !insertmacro ForEachArch StageNew
  ${If} $Failed == 0
    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}.new"
    ${If} ${Errors}
      ${LogLine} "could not write $INSTDIR\${UNINSTALLER}.new"
      StrCpy $Failed 1
    ${EndIf}
  ${EndIf}
  !insertmacro ForEachArch SwapInDll
  StrCpy $R0 "$INSTDIR\${UNINSTALLER}"
  Call SwapIn
  ${If} $Failed == 1
    StrCpy $R0 "a file could not be written in $INSTDIR"
    Call FailInstall
  ${EndIf}

  !insertmacro ForEachArch Register
  ${If} $Failed == 1
    StrCpy $R0 "Velmora.dll could not be registered"
    Call FailInstall
  ${EndIf}

  ${If} $AllUsers == 1
    StrCpy $0 '"$INSTDIR\${UNINSTALLER}" /ALLUSERS'
  ${Else}
    StrCpy $0 '"$INSTDIR\${UNINSTALLER}"'
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  ClearErrors
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" "$0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" "$0 /S"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    StrCpy $R0 "the installed-apps entry could not be written"
    Call FailInstall
  ${EndIf}

  !insertmacro ForEachArch DropOld
  Delete "$INSTDIR\${UNINSTALLER}.old"
  SetOutPath "$INSTDIR"
  ${If} $OldDir != ""
    Call RemoveOldDir
    ${If} $R1 != ""
      MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} ${VERSION} is installed in $INSTDIR, but these files of the earlier folder could not be removed; delete them by hand:$R1" /SD IDOK
      ${Exit} ${EXIT_OLD_FOLDER_LEFT} "installed in $INSTDIR; left in the earlier folder:$R1"
      Return
    ${EndIf}
  ${EndIf}
  ${Exit} 0 "installed in $INSTDIR"
SectionEnd

; --- Uninstaller -------------------------------------------------------------------------------

Var OwnView64     ; 1 when the class key of that view names a DLL of this folder
Var OwnView32

Function un.onInit
  ; Started without /ALLUSERS from the folder of the all-users install, it still removes that.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $R1 $INSTDIR
  Call un.SameFile
  ${If} $R2 == 1
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  Call un.ChooseScope
FunctionEnd

; $R2 is 1 when the class key of view $R3 names a Velmora.dll of this folder.
Function un.ClassIsOwn
  ${SetRegViewOf} $R3
  ReadRegStr $R0 SHCTX "Software\Classes\CLSID\${CLSID}\InprocServer32" ""
  SetRegView default
  ClearErrors
  StrCpy $R2 0
  ${If} $R0 == ""
    Return
  ${EndIf}
  StrCpy $R1 "$INSTDIR\x64\Velmora.dll"
  Call un.SameFile
  ${If} $R2 == 0
    StrCpy $R1 "$INSTDIR\x86\Velmora.dll"
    Call un.SameFile
  ${EndIf}
FunctionEnd

; Removes what the setup wrote, and only what belongs to this folder: a registration or an
; installed-apps entry that names another folder (a moved install, or regsvr32 by hand) stays.
; The user's Velmora settings stay: they belong to the user, and a later install finds them.
Section "Uninstall"
  SetDetailsPrint both
  StrCpy $Failed 0
  StrCpy $Unrestored ""
  ${LogLine} "${PRODUCT} ${VERSION} $ScopeText from $INSTDIR"
  Call un.WaitUntilNotInUse

  StrCpy $R3 64
  Call un.ClassIsOwn
  StrCpy $OwnView64 $R2
  StrCpy $OwnView32 0
  ${If} $WithX86 == 1
    StrCpy $R3 32
    Call un.ClassIsOwn
    StrCpy $OwnView32 $R2
  ${EndIf}

  InitPluginsDir
  !insertmacro ForEachSavedKey un.SaveKey
  ${If} $Failed == 1
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be removed: the registration as it is could not be saved.$\r$\nNothing was changed." /SD IDOK
    ${Exit} ${EXIT_FAILED} "the registration as it is could not be saved; nothing was changed"
    Abort "${PRODUCT} could not be removed; nothing was changed."
  ${EndIf}

  StrCpy $1 "/u"
  ${If} $OwnView64 == 1
    StrCpy $0 "x64"
    Call un.Regsvr32
  ${Else}
    ${LogLine} "the 64-bit registration names no DLL of $INSTDIR: kept"
  ${EndIf}
  ${If} $OwnView32 == 1
    StrCpy $0 "x86"
    Call un.Regsvr32
  ${ElseIf} $WithX86 == 1
    ${LogLine} "the 32-bit registration names no DLL of $INSTDIR: kept"
  ${EndIf}
  ${If} $Failed == 1
    !insertmacro ForEachSavedKey un.RestoreKey
    ${If} $Unrestored == ""
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be unregistered; nothing was removed." /SD IDOK
      ${Exit} ${EXIT_FAILED} "Velmora.dll could not be unregistered; nothing was removed"
      Abort "${PRODUCT} could not be unregistered; nothing was removed."
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be unregistered, and not everything could be put back as it was:$Unrestored" /SD IDOK
    ${Exit} ${EXIT_NOT_RESTORED} "Velmora.dll could not be unregistered; not everything could be put back:$Unrestored"
    Abort "${PRODUCT} could not be unregistered, and not everything could be put back."
  ${EndIf}

  ; The ProgID serves both views: while either still has a class (registered from elsewhere),
  ; it stays, whatever the DLL's unregistration did with it.
  StrCpy $R2 "Software\Classes\CLSID\${CLSID}"
  StrCpy $R3 64
  Call un.KeyExists
  ${If} $R5 == 0
  ${AndIf} $WithX86 == 1
    StrCpy $R3 32
    Call un.KeyExists
  ${EndIf}
  ${If} $R5 == 1
    StrCpy $R1 0
    StrCpy $R2 "Software\Classes\${PROGID}"
    StrCpy $R3 64
    Call un.KeyExists
    ${If} $R5 == 0
      ${LogLine} "another registration remains: putting back the ProgID it needs"
      Call un.RestoreKey
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\x64\Velmora.dll"
  Delete "$INSTDIR\x86\Velmora.dll"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $R1 $INSTDIR
  Call un.SameFile
  ClearErrors
  ${If} $R2 == 1
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${ElseIf} $R0 != ""
    ${LogLine} "the installed-apps entry names $R0: kept"
  ${EndIf}
  ${Exit} 0 "removed from $INSTDIR"
SectionEnd
