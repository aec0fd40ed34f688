; The Velmora setup program. Per user by default, with no administrator rights: both DLLs
; under %LOCALAPPDATA%\Programs\Velmora, registered for the current user. /ALLUSERS installs
; under Program Files and registers machine-wide. /S runs silently.
;
; The setup is a 64-bit program: every Windows it serves is 64-bit (32-bit Windows takes the
; zip and regsvr32). The x86 DLL is for 32-bit hosts, so it is installed wherever Windows runs
; 32-bit programs, that is where its 32-bit subsystem (SysWOW64) is present.
;
; scripts/package.sh builds it with these definitions:
;   VERSION          the version text of the DLLs' version record, e.g. 1.00.0015
;   VERSION_NUMBERS  the same as four numbers, e.g. 1.0.0.15
;   X64_DLL, X86_DLL the two Velmora.dll files
;   OUTFILE          the setup program to write
;
; Exit codes (setup and uninstaller):
;   0 done; 1 cancelled by the user; 2 a Velmora.dll to be replaced or removed is loaded by a
;   running program; 3 /ALLUSERS without administrator rights; 4 a file could not be written or
;   a DLL could not be registered or unregistered. After 1 to 4 the earlier install is whole.

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

; 1, cancelled by the user, is the code NSIS itself gives.
!define EXIT_IN_USE 2
!define EXIT_NEEDS_ADMIN 3
!define EXIT_FAILED 4

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
Var ScopeText     ; how the pages name the chosen scope
Var RegsvrScope   ; the regsvr32 options that choose the registration's scope
Var InUse         ; the first DLL found loaded, or empty
Var Failed        ; 1 once a registration step failed

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

; --- Shared by the setup and the uninstaller (prefix "" or "un.") ----------------------------

!macro DefineShared PREFIX
  ; Reads /ALLUSERS (unless $AllUsers is 1 already) and chooses the shell folders, the registry root (SHCTX) and the
  ; registration scope. Without administrator rights /ALLUSERS stops here.
  Function ${PREFIX}ChooseScope
    ${If} $AllUsers != 1
      ${GetParameters} $0
      ClearErrors
      ${GetOptions} $0 "/ALLUSERS" $1
      ${If} ${Errors}
        StrCpy $AllUsers 0
      ${Else}
        StrCpy $AllUsers 1
      ${EndIf}
    ${EndIf}
    ${If} $AllUsers == 0
      SetShellVarContext current
      StrCpy $ScopeText "for you"
      StrCpy $RegsvrScope "/n /i:user"
    ${Else}
      UserInfo::GetAccountType
      Pop $0
      ${If} $0 != "Admin"
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} for all users is installed and removed with administrator rights only.$\r$\nRun this program as administrator, or the setup without /ALLUSERS to install ${PRODUCT} for yourself." /SD IDOK
        SetErrorLevel ${EXIT_NEEDS_ADMIN}
        Quit
      ${EndIf}
      SetShellVarContext all
      StrCpy $ScopeText "for all users"
      StrCpy $RegsvrScope ""
    ${EndIf}
  FunctionEnd

  ; Sets $InUse to the first installed Velmora.dll that cannot be opened for writing with no
  ; sharing: a process that has loaded a DLL keeps it from being overwritten or deleted.
  Function ${PREFIX}FindDllInUse
    StrCpy $InUse ""
    StrCpy $0 "$INSTDIR\x64\Velmora.dll"
    Call ${PREFIX}CheckOneDll
    ${If} $InUse == ""
      StrCpy $0 "$INSTDIR\x86\Velmora.dll"
      Call ${PREFIX}CheckOneDll
    ${EndIf}
  FunctionEnd

  Function ${PREFIX}CheckOneDll
    ${IfNot} ${FileExists} $0
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

  ; Asks until no installed DLL is loaded any more; silent or cancelled, ends with EXIT_IN_USE.
  Function ${PREFIX}WaitUntilNotInUse
    ${Do}
      Call ${PREFIX}FindDllInUse
      ${If} $InUse == ""
        Return
      ${EndIf}
      DetailPrint "In use: $InUse"
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$InUse is in use: a running program, most likely the messenger, has loaded it.$\r$\n$\r$\nClose that program and choose Retry, or Cancel to leave ${PRODUCT} as it is." /SD IDCANCEL IDRETRY retry
      SetErrorLevel ${EXIT_IN_USE}
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
      DetailPrint "regsvr32 $1 $RegsvrScope $INSTDIR\$0\Velmora.dll failed ($2)"
      StrCpy $Failed 1
    ${Else}
      DetailPrint "regsvr32 $1 $RegsvrScope $INSTDIR\$0\Velmora.dll"
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro DefineShared ""
!insertmacro DefineShared "un."

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

; The architectures this Windows runs.
!macro ForEachArch BODY
  StrCpy $0 "x64"
  Call ${BODY}
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    StrCpy $0 "x86"
    Call ${BODY}
  ${EndIf}
!macroend

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
    StrCpy $Failed 1
  ${EndIf}
FunctionEnd

; The old DLL becomes Velmora.dll.old, the staged one Velmora.dll.
Function SwapIn
  ${If} $Failed == 1
    Return
  ${EndIf}
  ClearErrors
  Delete "$INSTDIR\$0\Velmora.dll.old"
  ${If} ${FileExists} "$INSTDIR\$0\Velmora.dll"
    Rename "$INSTDIR\$0\Velmora.dll" "$INSTDIR\$0\Velmora.dll.old"
  ${EndIf}
  ${IfNot} ${Errors}
    Rename "$INSTDIR\$0\Velmora.dll.new" "$INSTDIR\$0\Velmora.dll"
  ${EndIf}
  ${If} ${Errors}
    StrCpy $Failed 1
  ${EndIf}
FunctionEnd

Function Register
  StrCpy $1 ""
  Call Regsvr32
FunctionEnd

; Undoes SwapIn: the old DLL returns and is registered again; a new folder goes away.
Function RollBack
  ${If} ${FileExists} "$INSTDIR\$0\Velmora.dll.old"
    Delete "$INSTDIR\$0\Velmora.dll"
    Rename "$INSTDIR\$0\Velmora.dll.old" "$INSTDIR\$0\Velmora.dll"
    StrCpy $1 ""
    Call Regsvr32
  ${ElseIf} ${FileExists} "$INSTDIR\$0\Velmora.dll"
    ${If} $1 == "unregister-new"
      StrCpy $1 "/u"
      Call Regsvr32
    ${EndIf}
    Delete "$INSTDIR\$0\Velmora.dll"
  ${EndIf}
  Delete "$INSTDIR\$0\Velmora.dll.new"
  RMDir "$INSTDIR\$0"
FunctionEnd

Function RollBackRegistered
  StrCpy $1 "unregister-new"
  Call RollBack
FunctionEnd

Function RollBackFiles
  StrCpy $1 ""
  Call RollBack
FunctionEnd

Function DropOld
  Delete "$INSTDIR\$0\Velmora.dll.old"
FunctionEnd

Section "Velmora"
  SetDetailsPrint both
  StrCpy $Failed 0
  Call WaitUntilNotInUse

  !insertmacro ForEachArch StageNew
  !insertmacro ForEachArch SwapIn
  ${If} $Failed == 1
    DetailPrint "A file could not be written in $INSTDIR"
    SetOutPath "$TEMP"  ; Windows removes no folder that is a process's current one
    !insertmacro ForEachArch RollBackFiles
    RMDir "$INSTDIR"
    SetErrorLevel ${EXIT_FAILED}
    Abort "${PRODUCT} could not be installed; nothing was changed."
  ${EndIf}

  !insertmacro ForEachArch Register
  ${If} $Failed == 1
    SetOutPath "$TEMP"
    !insertmacro ForEachArch RollBackRegistered
    RMDir "$INSTDIR"
    SetErrorLevel ${EXIT_FAILED}
    Abort "${PRODUCT} could not be registered; nothing was changed."
  ${EndIf}
  !insertmacro ForEachArch DropOld

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} $AllUsers == 1
    StrCpy $0 '"$INSTDIR\${UNINSTALLER}" /ALLUSERS'
  ${Else}
    StrCpy $0 '"$INSTDIR\${UNINSTALLER}"'
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" "$0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" "$0 /S"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SetErrorLevel 0
SectionEnd

; --- Uninstaller -------------------------------------------------------------------------------

Function un.onInit
  ; Started without /ALLUSERS from the folder of the all-users install, it still removes that.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
  ${EndIf}
  Call un.ChooseScope
FunctionEnd

; Removes what the setup wrote. The user's Velmora settings stay: they belong to the user,
; and a later install finds them.
Section "Uninstall"
  SetDetailsPrint both
  StrCpy $Failed 0
  Call un.WaitUntilNotInUse
  StrCpy $1 "/u"
  StrCpy $0 "x64"
  Call un.Regsvr32
  StrCpy $0 "x86"
  Call un.Regsvr32
  ${If} $Failed == 1
    ; Registered again as before, so the install stays whole for another try.
    StrCpy $1 ""
    StrCpy $0 "x64"
    Call un.Regsvr32
    StrCpy $0 "x86"
    Call un.Regsvr32
    SetErrorLevel ${EXIT_FAILED}
    Abort "${PRODUCT} could not be unregistered; nothing was removed."
  ${EndIf}
  Delete "$INSTDIR\x64\Velmora.dll"
  Delete "$INSTDIR\x86\Velmora.dll"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  SetErrorLevel 0
SectionEnd
