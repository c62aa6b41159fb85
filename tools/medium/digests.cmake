# The digest list of an installation medium: medium.sha beside oemsetup.inf,
# one line per file of the medium (name, size in bytes, SHA-256), which an
# install records instead of hashing the files it copies and /check compares.
# For your own medium, after its last file is in place:
#   cmake -DMEDIUM=<folder> -P tools/medium/digests.cmake
# Only the files in the folder itself are listed (a medium is one folder);
# the list is rewritten only when its content changes.
cmake_policy(VERSION 3.20)

# kx_write_digests(<folder> [<name>...]): the names given, else every file of
# the folder but the list itself.
function(kx_write_digests folder)
  set(names ${ARGN})
  if(NOT names)
    file(GLOB names LIST_DIRECTORIES false RELATIVE "${folder}" "${folder}/*")
  endif()
  list(REMOVE_ITEM names medium.sha)
  list(SORT names)
  set(text "")
  foreach(name IN LISTS names)
    if(IS_DIRECTORY "${folder}/${name}")
      continue()
    endif()
    file(SIZE "${folder}/${name}" size)
    file(SHA256 "${folder}/${name}" sha)
    string(APPEND text "${name} ${size} ${sha}\r\n")
  endforeach()
  file(WRITE "${folder}/medium.sha.new" "${text}")
  file(COPY_FILE "${folder}/medium.sha.new" "${folder}/medium.sha" ONLY_IF_DIFFERENT)
  file(REMOVE "${folder}/medium.sha.new")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT IS_DIRECTORY "${MEDIUM}")
    message(FATAL_ERROR "usage: cmake -DMEDIUM=<folder> -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  kx_write_digests("${MEDIUM}")
  message(STATUS "${MEDIUM}/medium.sha written")
endif()
