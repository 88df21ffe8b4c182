# Run by `cmake --install`: installs the public headers (include/orrery/)
# and every header they include, directly or not, keeping their paths
# relative to include/, so that the include directives read the same in an
# installed host as in this tree. A public header that reaches a header of
# src/ stops the installation: hosts must not depend on the library's insides.
#   ORRERY_SOURCE_DIR          the source tree
#   ORRERY_HEADER_ROOTS        the headers hosts include (paths under include/ or src/)
#   ORRERY_HEADER_DESTINATION  the folder under the installation prefix
cmake_policy(VERSION 3.25)
set(bases "${ORRERY_SOURCE_DIR}/include")

# The file an include directive names, looked for beside the including file
# first, then under include/ and src/ (the order the compiler uses here).
function(orrery_resolve_include including name out)
  get_filename_component(folder "${including}" DIRECTORY)
  foreach(base IN ITEMS "${folder}" ${bases} "${ORRERY_SOURCE_DIR}/src")
    if(EXISTS "${base}/${name}")
      get_filename_component(found "${base}/${name}" ABSOLUTE)
      set(${out} "${found}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

# The path of a header below include/ or src/.
function(orrery_header_place file out)
  foreach(base IN LISTS bases)
    file(RELATIVE_PATH relative "${base}" "${file}")
    if(NOT relative MATCHES "^\\.\\./")
      set(${out} "${relative}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${file} is not a public header (include/): an installed header must not include it")
endfunction()

set(pending)
foreach(root IN LISTS ORRERY_HEADER_ROOTS)
  orrery_resolve_include("${ORRERY_SOURCE_DIR}/include/." "${root}" found)
  if(NOT found)
    message(FATAL_ERROR "public header ${root} not found")
  endif()
  list(APPEND pending "${found}")
endforeach()

set(reached)
while(pending)
  list(POP_FRONT pending header)
  if(header IN_LIST reached)
    continue()
  endif()
  list(APPEND reached "${header}")
  file(STRINGS "${header}" directives REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(directive IN LISTS directives)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" name "${directive}")
    orrery_resolve_include("${header}" "${name}" found)
    if(NOT found)
      message(FATAL_ERROR "${header} includes \"${name}\", which is in neither include/ nor src/")
    endif()
    list(APPEND pending "${found}")
  endforeach()
endwhile()

foreach(header IN LISTS reached)
  orrery_header_place("${header}" place)
  get_filename_component(subfolder "${place}" DIRECTORY)
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${ORRERY_HEADER_DESTINATION}/${subfolder}"
       TYPE FILE FILES "${header}")
endforeach()
