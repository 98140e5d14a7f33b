# Installation of the Windows build and its packages: the 64-bit installer
# kalu-upgrade-24.03.20-win64.exe (cpack -G NSIS; silent with /S, as its uninstaller) and
# the same files in a zip (cpack -G ZIP) for chains that copy files with their own tools.
# The programs (the console program, the window program the shortcuts start, xmz) sit
# beside the DLLs they load; the guide in doc\, the report schemas in schemas\.
install(TARGETS kalu-upgrade kalu-upgradew xmz RUNTIME DESTINATION .)
install(FILES ${KALU_WINDOWS_DLLS} DESTINATION .)
install(FILES README.md man/kalu-upgrade.1 man/xmz.1 DESTINATION doc)
install(DIRECTORY schemas/ DESTINATION schemas)

set(CPACK_SYSTEM_NAME win64)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_INSTALL_DIRECTORY kalu-upgrade)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY kalu-upgrade)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "kalu-upgrade ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "kalu-upgrade ${PROJECT_VERSION}")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# The project's NSIS.template.in (64-bit, Unicode, the runtime check) instead of CMake's.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake)
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake)
# Signing with the chain's certificate, named in the environment of cpack (never in the
# build's cache): scripts/sign-windows signs every program and DLL before they are packed,
# and makensis the installer and its uninstaller (cmake/NSIS.template.in); without a
# certificate named it does nothing.
set(CPACK_KALU_SIGN_WINDOWS ${CMAKE_SOURCE_DIR}/scripts/sign-windows)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/windows-sign.cmake)
include(CPack)
