# Run by cpack before it packs (CPACK_PRE_BUILD_SCRIPTS): every program and DLL of the
# package's staging folder goes through scripts/sign-windows, which signs them when the
# chain names its certificate in the environment and leaves them as they are otherwise.
file(GLOB_RECURSE binaries ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe
     ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.dll)
if(binaries)
  execute_process(COMMAND ${CPACK_KALU_SIGN_WINDOWS} ${binaries} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "scripts/sign-windows could not sign the programs (${status})")
  endif()
endif()
