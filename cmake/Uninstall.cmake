cmake_minimum_required(VERSION 3.25)
# Removes the files of an install by its manifest (MANIFEST, the install_manifest.txt of the build
# folder that installed), refreshes the desktop's caches, then removes the folders the install
# made (install_folders.txt beside the manifest) that are left empty. DESTDIR as for the install
# (a staged install records no folders: only its files go).
#   cmake -DMANIFEST=build/release/install_manifest.txt -DPREFIX=/usr/local -P cmake/Uninstall.cmake
# PREFIX may be spelled otherwise than at the install (a trailing slash, "//", a path relative to
# the folder this runs in, as the install takes it): paths are compared in their normal form.
# When nothing of the manifest lies under PREFIX, nothing is touched and it fails, saying where
# the install placed its files.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No install manifest at ${MANIFEST}: install from this build folder first")
endif()

# `path` absolute (from the folder this runs in, as the install reads a relative prefix), without
# "//", "." or "..", and without a trailing slash.
function(normalised path result)
  cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
             OUTPUT_VARIABLE out)
  string(REGEX REPLACE "(.)/+$" "\\1" out "${out}")
  set(${result} "${out}" PARENT_SCOPE)
endfunction()
# True when `folder` lies strictly below `top` (both normalised).
function(below folder top result)
  cmake_path(IS_PREFIX top "${folder}" inside)
  if(inside AND NOT folder STREQUAL top)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

normalised("${PREFIX}" prefix)
normalised("$ENV{DESTDIR}${prefix}" root)

file(STRINGS "${MANIFEST}" files)
set(mine)
set(elsewhere)
foreach(entry IN LISTS files)
  # The manifest lists the paths without DESTDIR.
  normalised("$ENV{DESTDIR}${entry}" path)
  # A manifest of another prefix (the package's staging writes one for /usr) is not this
  # install's: its files may belong to the system's package manager.
  below("${path}" "${root}" inside)
  if(inside)
    list(APPEND mine "${path}")
  else()
    list(APPEND elsewhere "${path}")
  endif()
endforeach()
if(NOT mine)
  # Said before anything is touched, the desktop's caches under PREFIX included.
  set(placed "")
  foreach(path IN LISTS elsewhere)
    if(path MATCHES "^(.*)/bin/gridlark$")
      set(placed " (it placed them under ${CMAKE_MATCH_1})")
      break()
    endif()
  endforeach()
  message(FATAL_ERROR "Nothing removed: none of the files of the install by ${MANIFEST} lies "
                      "under ${root}${placed}. Uninstall with the PREFIX of that install.")
endif()
foreach(path IN LISTS elsewhere)
  message(STATUS "Not under ${root}, left alone: ${path}")
endforeach()
set(removed 0)
foreach(path IN LISTS mine)
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    file(REMOVE "${path}")
    message(STATUS "Removed: ${path}")
    math(EXPR removed "${removed} + 1")
  endif()
endforeach()
if(removed EQUAL 0)
  message(STATUS "Nothing to remove under ${root}: the files of the install are gone already.")
endif()

set(GRIDLARK_PREFIX "${prefix}")
include("${CMAKE_CURRENT_LIST_DIR}/RefreshDesktopCaches.cmake")

# The folders the install made (recorded beside the manifest by a live install), deepest first,
# once empty; never the prefix itself, never a folder that was there before the install.
get_filename_component(build "${MANIFEST}" DIRECTORY)
set(record "${build}/install_folders.txt")
if(EXISTS "${record}" AND "$ENV{DESTDIR}" STREQUAL "")
  file(STRINGS "${record}" recorded)
  set(made)
  foreach(folder IN LISTS recorded)
    normalised("${folder}" folder)
    list(APPEND made "${folder}")
  endforeach()
  list(SORT made ORDER DESCENDING)  # a folder sorts after its parent
  set(kept)
  foreach(folder IN LISTS made)
    below("${folder}" "${root}" inside)
    if(inside AND IS_DIRECTORY "${folder}")
      execute_process(COMMAND rmdir "${folder}" RESULT_VARIABLE status ERROR_QUIET)
      if(status EQUAL 0)
        message(STATUS "Removed: ${folder}/")
        continue()
      endif()
    endif()
    if(IS_DIRECTORY "${folder}")
      list(APPEND kept "${folder}")
    endif()
  endforeach()
  # What still holds something (a file of the user's) stays recorded for a later uninstall.
  if(kept)
    list(JOIN kept "\n" text)
    file(WRITE "${record}" "${text}\n")
  else()
    file(REMOVE "${record}")
  endif()
endif()
