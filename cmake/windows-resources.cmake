# The resources of the Windows programs: each carries a version resource (VERSIONINFO:
# the company, the product, what the program is, and the version that project() states),
# and the programs that open the main window also the application manifest
# (src/ui/win32/kalu-upgrade.manifest). MinGW's windres compiles them.
set(KALU_VERSION_COMMAS)
foreach(part MAJOR MINOR PATCH)
  math(EXPR number "${PROJECT_VERSION_${part}}")  # "03" is 3 to the resource compiler
  list(APPEND KALU_VERSION_COMMAS ${number})
endforeach()
list(APPEND KALU_VERSION_COMMAS 0)
list(JOIN KALU_VERSION_COMMAS "." KALU_VERSION_QUAD)
list(JOIN KALU_VERSION_COMMAS "," KALU_VERSION_COMMAS)

# program: the target; description: the file's description; MANIFEST: it opens the window.
function(kalu_windows_resources program description)
  cmake_parse_arguments(R "MANIFEST" "" "" ${ARGN})
  set(KALU_PROGRAM ${program})
  set(KALU_RC_DESCRIPTION "${description}")
  set(folder ${CMAKE_BINARY_DIR}/resources)
  set(KALU_RC_MANIFEST)
  set(KALU_RC_MANIFEST_NOTE)
  if(R_MANIFEST)
    set(manifest ${folder}/${program}.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/src/ui/win32/kalu-upgrade.manifest ${manifest} @ONLY)
    # Resource type 24 (RT_MANIFEST), id 1: the manifest of the process.
    set(KALU_RC_MANIFEST "1 24 \"${manifest}\"")
    set(KALU_RC_MANIFEST_NOTE " and its manifest")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows-resources.rc.in ${folder}/${program}.rc @ONLY)
  target_sources(${program} PRIVATE ${folder}/${program}.rc)
  if(R_MANIFEST)
    set_source_files_properties(${folder}/${program}.rc PROPERTIES OBJECT_DEPENDS ${manifest})
  endif()
endfunction()

kalu_windows_resources(kalu-upgrade
  "Actualización de la tienda Kalu a ${PROJECT_VERSION} (consola)" MANIFEST)
kalu_windows_resources(kalu-upgradew
  "Actualización de la tienda Kalu a ${PROJECT_VERSION}" MANIFEST)
kalu_windows_resources(xmz "Paquetes .XMZ de la tienda Kalu")
