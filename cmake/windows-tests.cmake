# The tests of the Windows build, run by CTest under Wine (scripts/wine-run is the
# emulator): the unit tests of the layers, which hold on every system, and the tests of the
# Windows parts of platform/ (tests/windows/). The database and end-to-end tests stay with
# the Linux build, which also runs the complete upgrade through this build's program
# (KALU_WINDOWS_BUILD there).
# GoogleTest is built from the sources that Debian's googletest package ships.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
include(GoogleTest)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The tests see the repository on Wine's drive Z:, which maps the Linux root.
add_library(kalu_test_support STATIC tests/support/test_support.cpp
                                     tests/support/process_windows.cpp)
target_include_directories(kalu_test_support PUBLIC tests)
target_link_libraries(kalu_test_support PUBLIC kalu_gen GTest::gtest)
target_compile_definitions(kalu_test_support PUBLIC
  KALU_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}" KALU_BINARY_DIR="Z:${CMAKE_BINARY_DIR}")

# Unit tests that reach the system through Linux calls of their own (a local FTP server and
# child processes, signals and resource limits, the TZ variable): the Windows tests cover
# those parts on Windows.
set(KALU_LINUX_ONLY_TESTS ftp_test package_test registry_test store_copies_names_test)
# Names matched to the files that exist without regard to case: the Windows file system
# does that itself (tests/windows covers the Windows paths).
list(APPEND KALU_LINUX_ONLY_TESTS paths_test)
# libxml2 2.15 of the Windows DLLs reads the byte 0x81 of a windows-1252 document (as the
# system's own code page does) where Debian's, over iconv, reports it.
set(KALU_WINDOWS_FILTER_xml_test "-XmlReader.FailuresAreCodesNotExceptions")
file(GLOB tests CONFIGURE_DEPENDS tests/unit/*.cpp tests/windows/*.cpp)
list(FILTER tests EXCLUDE REGEX "_posix_test\\.cpp$")  # tests of the Linux parts
foreach(src ${tests})
  get_filename_component(name ${src} NAME_WE)
  if(name IN_LIST KALU_LINUX_ONLY_TESTS)
    continue()
  endif()
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE kalu_test_support GTest::gtest_main)
  add_dependencies(${name} windows_dlls)
  set(filter)
  if(DEFINED KALU_WINDOWS_FILTER_${name})
    set(filter TEST_FILTER ${KALU_WINDOWS_FILTER_${name}})
  endif()
  gtest_discover_tests(${name} ${filter} PROPERTIES LABELS unit DISCOVERY_TIMEOUT 120)
endforeach()
# The programs' version resources, read as Windows reads them.
target_link_libraries(windows_platform_test PRIVATE version)
add_dependencies(windows_platform_test kalu-upgrade kalu-upgradew xmz)

# A program that holds a file open as an antivirus scanner does, for the complete upgrade
# under Wine (the Linux build's CompleteUpgrade.SampleStoreOnWindowsUnderWine).
add_executable(hold_file tests/support/hold_file_windows.cpp)
target_link_options(hold_file PRIVATE -municode)

# The installer, installed silently under Wine, run and uninstalled (it changes only the
# build's Wine prefix); read_shortcut reads its shortcuts as the shell does.
add_executable(read_shortcut tests/package/read_shortcut.cpp)
target_link_options(read_shortcut PRIVATE -municode)
add_test(NAME nsis_package_install
         COMMAND ${CMAKE_SOURCE_DIR}/tests/package/nsis_install.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR})
set_tests_properties(nsis_package_install PROPERTIES LABELS "windows;package" RUN_SERIAL ON
                     TIMEOUT 600)
# The Windows platform tests answer as a proxy on loopback.
target_link_libraries(windows_platform_test PRIVATE ws2_32)
