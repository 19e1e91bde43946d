# Fails when a folder of src includes a folder that is not below it in the layer order (the
# same order as docs/architecture.md), or when src holds a folder the order does not name.
# Every `#include "folder/..."` in src/<folder>/ whose folder is another folder of src is
# checked; folders of one layer may not include each other either.
cmake_minimum_required(VERSION 3.20)

# Layer of each folder, lowest first.
set(layer_core 0)
set(layer_formats 1)
set(layer_ops 1)
set(layer_analysis 1)
set(layer_display 2)
set(layer_filters 3)
set(layer_composite 3)
set(layer_cli 4)
set(layer_ui 4)
set(layer_app 5)

# Exceptions, "from/file -> to" (none today; each one needs a comment saying why).
set(allowed "")

file(GLOB entries LIST_DIRECTORIES true ${ROOT}/src/*)
set(bad "")
foreach(e ${entries})
  if(NOT IS_DIRECTORY ${e})
    continue()
  endif()
  get_filename_component(d ${e} NAME)
  if(NOT DEFINED layer_${d})
    list(APPEND bad "src/${d} has no place in the layer order")
    continue()
  endif()
  file(GLOB_RECURSE files RELATIVE ${ROOT}/src ${e}/*.h ${e}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${ROOT}/src/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z0-9_]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z0-9_]+)/.*" "\\1" to "${line}")
      if(to STREQUAL d OR NOT IS_DIRECTORY ${ROOT}/src/${to} OR "${f} -> ${to}" IN_LIST allowed)
        continue()
      endif()
      if(NOT DEFINED layer_${to} OR NOT layer_${to} LESS layer_${d})
        string(STRIP "${line}" line)
        list(APPEND bad "src/${f}: ${line} (${d} may not use ${to})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(bad)
  string(REPLACE ";" "\n  " text "${bad}")
  message(FATAL_ERROR "Includes against the layer order of src:\n  ${text}")
endif()
