# Installation of the Windows build: the programs and the DLLs they load side by side.
install(TARGETS kalu-upgrade xmz RUNTIME DESTINATION .)
install(FILES ${KALU_WINDOWS_DLLS} DESTINATION .)
