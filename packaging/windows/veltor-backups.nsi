; The Windows installer of Veltor Backups (64-bit), built with makensis on Linux or Windows:
;   makensis -DPROGRAM_DIR=<folder of the two .exe> -DOUTFILE=<installer.exe> [-DVERSION=x.y] veltor-backups.nsi
;
; It installs both programs under Program Files, the data folder C:\Datos Veltor\ with the
; template ADMINBD.cop, a Start-menu shortcut and, when chosen, a shortcut that starts the
; window at logon and the Windows service of the console program. Every shortcut starts the
; program in the data folder, where it reads ADMINBD.inf. /S installs silently with the
; choices given by /LOGON and /SERVICE. The uninstaller removes the programs, the shortcuts
; and the service, and leaves the data folder as it is.

Unicode true
Target amd64-unicode
; The tests' quick builds pass -DCOMPRESSOR=zlib.
!ifdef COMPRESSOR
  SetCompressor ${COMPRESSOR}
!else
  SetCompressor /SOLID lzma
!endif

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!ifndef VERSION
  !define VERSION "0.1"
!endif
!ifndef PROGRAM_DIR
  !error "PROGRAM_DIR must name the folder of veltor-backups.exe and veltor-backups-console.exe"
!endif
!ifndef OUTFILE
  !define OUTFILE "veltor-backups-setup.exe"
!endif

!define PRODUCT "Veltor Backups"
!define DATA_DIR "C:\Datos Veltor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VeltorBackups"
!define SERVICE_NAME "VeltorBackups"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\VeltorBackups"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Programa" SecProgram
  SectionIn RO
  SetShellVarContext all
  ; A service installed before runs the old program: it goes before its files are replaced,
  ; and the service choice below puts it back.
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$INSTDIR\veltor-backups-console.exe"
    nsExec::ExecToLog '"$INSTDIR\veltor-backups-console.exe" --remove-service'
    Pop $0
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${PROGRAM_DIR}\veltor-backups.exe"
  File "${PROGRAM_DIR}\veltor-backups-console.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The data folder. ADMINBD.cop is the template the program copies to ADMINBD.inf; one that
  ; is there already may have been edited and stays.
  CreateDirectory "${DATA_DIR}"
  SetOutPath "${DATA_DIR}"
  ; Its own access list, not the one of C:\ (which lets every user write there): the program
  ; sets it, from the one text it also checks at every start of the service.
  nsExec::ExecToLog '"$INSTDIR\veltor-backups-console.exe" --protect-data-folder'
  Pop $0
  SetOverwrite off
  File "ADMINBD.cop"
  SetOverwrite on

  ; CreateShortcut gives a shortcut the output folder as its working folder.
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\veltor-backups.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\veltor-backups.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Abrir la ventana al iniciar sesión" SecLogon
  SetShellVarContext all
  SetOutPath "${DATA_DIR}"
  CreateShortcut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\veltor-backups.exe"
SectionEnd

Section /o "Servicio de Windows (copias sin sesión iniciada)" SecService
  ; Installed from the data folder, which becomes the service's working folder.
  SetOutPath "${DATA_DIR}"
  nsExec::ExecToLog '"$INSTDIR\veltor-backups-console.exe" --install-service'
  Pop $0
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${SERVICE_NAME}'
    Pop $0
  ${Else}
    DetailPrint "No se pudo instalar el servicio (código $0)"
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LOGON" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecLogon}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SERVICE" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecService}
  ${EndIf}
  ; An installed service stays installed.
  ReadRegStr $R1 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} $R1 != ""
    !insertmacro SelectSection ${SecService}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ${If} ${FileExists} "$INSTDIR\veltor-backups-console.exe"
    nsExec::ExecToLog '"$INSTDIR\veltor-backups-console.exe" --remove-service'
    Pop $0
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$SMSTARTUP\${PRODUCT}.lnk"
  Delete "$INSTDIR\veltor-backups.exe"
  Delete "$INSTDIR\veltor-backups-console.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; ${DATA_DIR} (ADMINBD.inf, backups, month logs, databases) is left as it is.
SectionEnd
