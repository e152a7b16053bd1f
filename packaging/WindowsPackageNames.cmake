# Read by CPack for each package it makes: the installer is
# k58-<version>-win64-setup.exe, the zip k58-<version>-win64.zip.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
