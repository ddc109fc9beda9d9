# The Windows installers: CPack with NSIS makes Quaverly-<version>-setup.exe, a 32-bit installer,
# from the 32-bit build, and Quaverly-<version>-x64-setup.exe, a 64-bit installer, from the
# 64-bit one. Each puts the programs and the tag helper in one folder under the Program Files of
# its word size, with a Start-menu shortcut and an uninstaller.
#
#   cmake --build build/windows --target package
#   cmake --build build/windows64 --target package
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Quaverly)
set(CPACK_PACKAGE_VENDOR "The Quaverly developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Catalogues a folder tree of MP3 files into one HTML page")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quaverly)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME Quaverly-${PROJECT_VERSION}-x64-setup)
    # NSIS's 64-bit stub: the installer and uninstaller are 64-bit programs, so the 64-bit
    # Program Files and the 64-bit view of the registry are theirs without redirection. The
    # backslash that keeps "-XTarget amd64-unicode" one argument on CPack's command line must
    # survive CPackConfig.cmake too, which takes one away.
    set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS "XTarget\\\\ amd64-unicode")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
else()
    set(CPACK_PACKAGE_FILE_NAME Quaverly-${PROJECT_VERSION}-setup)
endif()
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
