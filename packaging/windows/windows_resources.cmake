# Icon, version resource and application manifest for the Windows executables.
#
#   rivect_windows_resources(TARGET DESCRIPTION GUI|CONSOLE)
#
# GUI makes a windowed program (no console), CONSOLE a console program. Include this file from
# a directory scope (it enables the RC language) when building for Windows.
include_guard(GLOBAL)
enable_language(RC)

set(RIVECT_WINDOWS_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(rivect_windows_resources target description kind)
  if(NOT kind MATCHES "^(GUI|CONSOLE)$")
    message(FATAL_ERROR "rivect_windows_resources(${target}): kind must be GUI or CONSOLE, not '${kind}'")
  endif()
  if(NOT description MATCHES "^[ -!#-~]+$")
    message(FATAL_ERROR "rivect_windows_resources(${target}): the description must be printable ASCII without quotes")
  endif()

  # "1.00" is shown as it is; the binary version fields take its numbers, 1.0.0.0.
  set(version "${PROJECT_VERSION}")
  if(version STREQUAL "")
    set(version "1.00")
  endif()
  string(REPLACE "." ";" parts "${version}")
  list(LENGTH parts count)
  while(count LESS 4)
    list(APPEND parts 0)
    math(EXPR count "${count} + 1")
  endwhile()
  set(numbers "")
  foreach(part IN LISTS parts)
    math(EXPR number "${part} + 0")
    list(APPEND numbers ${number})
  endforeach()
  list(SUBLIST numbers 0 4 numbers)
  string(REPLACE ";" "," RIVECT_RC_VERSION_COMMAS "${numbers}")
  string(REPLACE ";" "." RIVECT_RC_VERSION_DOTS "${numbers}")
  set(RIVECT_RC_VERSION_TEXT "${version}")
  set(RIVECT_RC_DESCRIPTION "${description}")
  set(RIVECT_RC_NAME "${target}")
  set(RIVECT_RC_ICON "${RIVECT_WINDOWS_RESOURCE_DIR}/rivect.ico")

  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(RIVECT_RC_MANIFEST "${out}/${target}.manifest")
  configure_file(${RIVECT_WINDOWS_RESOURCE_DIR}/rivect.manifest.in ${RIVECT_RC_MANIFEST} @ONLY)
  configure_file(${RIVECT_WINDOWS_RESOURCE_DIR}/rivect.rc.in ${out}/${target}.rc.in @ONLY)
  # The file name is known only once the generator has placed the target.
  file(GENERATE OUTPUT ${out}/${target}.rc INPUT ${out}/${target}.rc.in)

  target_sources(${target} PRIVATE ${out}/${target}.rc)
  set_property(SOURCE ${out}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS
    ${RIVECT_RC_ICON} ${RIVECT_RC_MANIFEST})
  if(kind STREQUAL "GUI")
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  else()
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE OFF)
  endif()
endfunction()
