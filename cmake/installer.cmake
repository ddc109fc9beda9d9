# The Windows installers: CPack with NSIS makes Quaverly-<version>-setup.exe, a 32-bit installer,
# from the 32-bit build, and Quaverly-<version>-x64-setup.exe, a 64-bit installer, from the
# 64-bit one. Each puts the programs and the tag helper in one folder under the Program Files of
# its word size, with a Start-menu shortcut, "Make MP3 listing" and "Make MP3 catalogue" in
# Explorer's menu of folders for the user who installs, and an uninstaller that takes all of it
# away.
#
#   cmake --build build/windows --target package
#   cmake --build build/windows64 --target package
set(CPACK_GENERATOR NSIS)
# What is set here reaches the installer script as it is written.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Quaverly)
set(CPACK_PACKAGE_VENDOR "The Quaverly developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Catalogues a folder tree of MP3 files into one HTML page")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quaverly)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME Quaverly-${PROJECT_VERSION}-x64-setup)
    # NSIS's 64-bit stub: the installer and uninstaller are 64-bit programs, so the 64-bit
    # Program Files and the 64-bit view of the registry are theirs without redirection. The
    # backslash keeps "-XTarget amd64-unicode" one argument on CPack's command line.
    set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS "XTarget\\ amd64-unicode")
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
    # "Make MP3 listing" on a folder starts the dialog with that folder. The user's own classes
    # take it, which every user may write and no other user sees.
    # "Make MP3 catalogue" makes the folder's catalogue in Documents and opens it in the browser.
    set(verb "Software\\Classes\\Directory\\shell\\Quaverly")
    set(catalogue "Software\\Classes\\Directory\\shell\\QuaverlyCatalogue")
    set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr HKCU '${verb}' '' 'Make MP3 listing'
  WriteRegStr HKCU '${verb}' 'Icon' '$INSTDIR\\Quaverly.exe'
  WriteRegStr HKCU '${verb}\\command' '' '\"$INSTDIR\\Quaverly.exe\" \"%1\"'
  WriteRegStr HKCU '${catalogue}' '' 'Make MP3 catalogue'
  WriteRegStr HKCU '${catalogue}' 'Icon' '$INSTDIR\\Quaverly.exe'
  WriteRegStr HKCU '${catalogue}\\command' '' '\"$INSTDIR\\Quaverly.exe\" --catalogue \"%1\"'")
    set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  DeleteRegKey HKCU '${verb}'
  DeleteRegKey HKCU '${catalogue}'")
endif()
include(CPack)
