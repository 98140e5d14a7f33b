# Cross-compiling for Windows x64 with Debian's MinGW-w64 (the posix thread model, for
# std::thread): cmake --preset windows. The C++ runtime is linked statically; libpq,
# libxml2, libcurl and zlib are the DLLs of the PostgreSQL project's Windows binaries
# (deps/windows/, installed by scripts/setup), linked directly with Debian's headers
# (cmake/windows-libraries.cmake). Programs and tests run under Wine through
# scripts/wine-run, in a Wine prefix of the build folder's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KALU_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KALU_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KALU_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KALU_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KALU_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without -static the posix variant still imports libwinpthread-1.dll and libstdc++'s DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# GCC 12 at -O3 warns of overlapping copies inside libstdc++'s own std::string code
# (GCC bug 105651), not in ours.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Windows 10 is the oldest system the stores run; wide (UTF-16) calls throughout.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN)

get_filename_component(KALU_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KALU_SOURCE_ROOT}/scripts/wine-run)
