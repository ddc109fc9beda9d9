# The Windows installer: CPack with NSIS makes Quaverly-<version>-setup.exe, a 32-bit installer
# that puts the programs and the tag helper in one folder under Program Files, with a
# Start-menu shortcut and an uninstaller.
#
#   cmake --build build/windows --target package
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Quaverly)
set(CPACK_PACKAGE_VENDOR "The Quaverly developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Catalogues a folder tree of MP3 files into one HTML page")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quaverly)
set(CPACK_PACKAGE_FILE_NAME Quaverly-${PROJECT_VERSION}-setup)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_PACKAGE_NAME Quaverly)
set(CPACK_NSIS_DISPLAY_NAME Quaverly)
set(CPACK_NSIS_URL_INFO_ABOUT https://quaverly.example/)
# Programs and Features lists it with its own uninstaller.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
if(TARGET Quaverly)
    # The Start-menu shortcut to the dialog.
    set(CPACK_PACKAGE_EXECUTABLES Quaverly Quaverly)
endif()
include(CPack)
