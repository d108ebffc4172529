# Checks that the program's folders keep their layers, from what each file
# includes:
#   src/ddvue     the drawing component: includes nothing else of src/;
#   src/data      the data-access layer: nothing else of src/;
#   src/platform  the platform's seams: nothing else of src/;
#   src/app       the forms and the command line: nothing below includes them.
# The subsystem folders between them use the lower layers and each other.
#   cmake -DSOURCE_DIR=<the source tree> -P layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
set(src "${SOURCE_DIR}/src")
set(selfContained ddvue data platform)

file(GLOB entries LIST_DIRECTORIES true RELATIVE "${src}" "${src}/*")
set(folders "")
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${src}/${entry}")
    list(APPEND folders "${entry}")
  endif()
endforeach()

set(faults "")
file(GLOB_RECURSE files "${src}/*.h" "${src}/*.cpp")
foreach(file IN LISTS files)
  file(RELATIVE_PATH rel "${src}" "${file}")
  string(REGEX MATCH "^[^/]+" folder "${rel}")
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][A-Za-z0-9_]+/")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "include[ \t]*[\"<]([A-Za-z0-9_]+)/" found "${line}")
    set(used "${CMAKE_MATCH_1}")
    if(used STREQUAL folder OR NOT used IN_LIST folders)
      continue()
    endif()
    if(folder IN_LIST selfContained)
      list(APPEND faults "src/${rel} includes ${used}/: src/${folder} depends on nothing else of the program")
    elseif(used STREQUAL "app")
      list(APPEND faults "src/${rel} includes app/: nothing below the forms includes them")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "Layers crossed:\n${text}")
endif()
list(LENGTH files count)
message(STATUS "layers kept in ${count} files")
