# The Windows packages, made by CPack from the cross build:
#   k58-<version>-win64.zip        k58.exe, how to run it, the licence
#   k58-<version>-win64-setup.exe  an NSIS installer (Debian's nsis): into
#                                  Program Files, a Start-menu entry and an
#                                  uninstaller
# cmake --build --preset windows --target package

configure_file(${CMAKE_CURRENT_LIST_DIR}/README-windows.txt.in
               ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
               NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
        DESTINATION .)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME k58)
set(CPACK_PACKAGE_VENDOR "K-58")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
# The installer's file name gets "-setup" (CPack names both packages alike).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/WindowsPackageNames.cmake)

set(CPACK_PACKAGE_INSTALL_DIRECTORY "K-58")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "K-58")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt)
set(CPACK_NSIS_PACKAGE_NAME "K-58")
set(CPACK_NSIS_DISPLAY_NAME "K-58")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The program lies at the top of the installation, as in the zip: its one
# Start-menu entry is made here (CPack's own would point at $INSTDIR\.\).
# The uninstaller is reached through the installed programs' list, so the
# entry CPack always adds for it is taken away again; the list also shows the
# installed size (KiB of the files the installer holds).
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "  CreateShortCut \"$SMPROGRAMS\\$STARTMENU_FOLDER\\K-58.lnk\" \"$INSTDIR\\k58.exe\"")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "  Delete \"$SMPROGRAMS\\$MUI_TEMP\\K-58.lnk\"")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "  Delete \"$SMPROGRAMS\\$STARTMENU_FOLDER\\Uninstall.lnk\"
  SectionGetSize 0 $0
  WriteRegDWORD SHCTX \"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\" \"EstimatedSize\" $0")
set(CPACK_NSIS_INSTALLED_ICON_NAME k58.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/assets/k58.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/assets/k58.ico)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit installer for a 64-bit program: it runs where the program runs,
# Wine without its 32-bit part included.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")

# Values reach CPack exactly as written here.
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
