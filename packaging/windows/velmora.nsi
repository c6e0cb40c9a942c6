; The Windows installer, velmora-setup-<version>.exe (scripts/windows makes it
; with makensis from the folder "cmake --install" lays out):
;   makensis -DVERSION=0.1 -DSTAGE=<folder> -DOUTFILE=<setup.exe> velmora.nsi
; Per-user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Velmora; a Start-menu entry "Istat Regione Sicilia"
; that opens the window in the hotel folder used the last time (or asks for
; it), the manual, and an uninstaller that removes only what it installed.
; Silent with /S.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!ifndef VERSION | STAGE | OUTFILE
  !error "VERSION, STAGE and OUTFILE must be defined (-D)"
!endif

Name "Velmora ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velmora"
InstallDirRegKey HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora" "InstallLocation"
RequestExecutionLevel user
ShowInstDetails show
ShowUninstDetails show
BrandingText "Velmora ${VERSION}"

!define MUI_ICON "${STAGE}\velmora.ico"
!define MUI_UNICON "${STAGE}\velmora.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--ultima-cartella"
!define MUI_FINISHPAGE_RUN_TEXT "Avvia Velmora"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\manuale.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Leggi il manuale"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"

Section "Velmora"
  SetOutPath "$INSTDIR"
  File "${STAGE}\velmora.exe"
  File "${STAGE}\velmora-jetwrite.exe"
  File "${STAGE}\velmora.ico"
  File "${STAGE}\manuale.html"
  File "${STAGE}\qt.conf"
  File "${STAGE}\Qt6Core.dll"
  File "${STAGE}\Qt6Gui.dll"
  File "${STAGE}\Qt6Widgets.dll"
  File "${STAGE}\libstdc++-6.dll"
  File "${STAGE}\libgcc_s_seh-1.dll"
  File "${STAGE}\libwinpthread-1.dll"
  SetOutPath "$INSTDIR\platforms"
  File "${STAGE}\platforms\qwindows.dll"
  SetOutPath "$INSTDIR\styles"
  File "${STAGE}\styles\qwindowsvistastyle.dll"
  SetOutPath "$INSTDIR\translations"
  File "${STAGE}\translations\qtbase_it.qm"
  SetOutPath "$INSTDIR"

  ; The console Windows opens for the program closes as the window starts;
  ; minimized, it does not even show.
  CreateShortCut "$SMPROGRAMS\Istat Regione Sicilia.lnk" "$INSTDIR\velmora.exe" \
      "--ultima-cartella" "$INSTDIR\velmora.ico" 0 SW_SHOWMINIMIZED "" \
      "Invia i movimenti degli ospiti al servizio Istat della Regione Sicilia"
  CreateShortCut "$SMPROGRAMS\Velmora - manuale.lnk" "$INSTDIR\manuale.html"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora (Istat Regione Sicilia)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Velmora"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only the files installed: the hotel's folders and the folder remembered by
; the window (HKCU\Software\velmora\velmora, which registry names' letter
; case does not tell from a key Software\Velmora) stay.
Section "Uninstall"
  Delete "$SMPROGRAMS\Istat Regione Sicilia.lnk"
  Delete "$SMPROGRAMS\Velmora - manuale.lnk"
  Delete "$INSTDIR\platforms\qwindows.dll"
  RMDir "$INSTDIR\platforms"
  Delete "$INSTDIR\styles\qwindowsvistastyle.dll"
  RMDir "$INSTDIR\styles"
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\velmora-jetwrite.exe"
  Delete "$INSTDIR\velmora.ico"
  Delete "$INSTDIR\manuale.html"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\translations\qtbase_it.qm"
  RMDir "$INSTDIR\translations"
  Delete "$INSTDIR\Qt6Core.dll"
  Delete "$INSTDIR\Qt6Gui.dll"
  Delete "$INSTDIR\Qt6Widgets.dll"
  Delete "$INSTDIR\libstdc++-6.dll"
  Delete "$INSTDIR\libgcc_s_seh-1.dll"
  Delete "$INSTDIR\libwinpthread-1.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
