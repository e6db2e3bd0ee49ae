cmake_minimum_required(VERSION 3.25)
# Removes the files of an install by its manifest (MANIFEST, the install_manifest.txt of the build
# folder that installed), refreshes the desktop's caches, then removes the folders the install
# made (install_folders.txt beside the manifest) that are left empty. DESTDIR as for the install
# (a staged install records no folders: only its files go).
#   cmake -DMANIFEST=build/release/install_manifest.txt -DPREFIX=/usr/local -P cmake/Uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No install manifest at ${MANIFEST}: install from this build folder first")
endif()
set(root "$ENV{DESTDIR}${PREFIX}")
# True when `folder` lies strictly below `top`.
function(below folder top result)
  string(LENGTH "${top}/" length)
  string(SUBSTRING "${folder}/" 0 ${length} start)
  string(LENGTH "${folder}" folder_length)
  if(start STREQUAL "${top}/" AND folder_length GREATER length)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

file(STRINGS "${MANIFEST}" files)
foreach(entry IN LISTS files)
  # The manifest lists the paths without DESTDIR.
  set(path "$ENV{DESTDIR}${entry}")
  # A manifest of another prefix (the package's staging writes one for /usr) is not this
  # install's: its files may belong to the system's package manager.
  below("${path}" "${root}" inside)
  if(NOT inside)
    message(STATUS "Not under ${root}, left alone: ${path}")
    continue()
  endif()
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    file(REMOVE "${path}")
    message(STATUS "Removed: ${path}")
  endif()
endforeach()

set(GRIDLARK_PREFIX "${PREFIX}")
include("${CMAKE_CURRENT_LIST_DIR}/RefreshDesktopCaches.cmake")

# The folders the install made (recorded beside the manifest by a live install), deepest first,
# once empty; never the prefix itself, never a folder that was there before the install.
get_filename_component(build "${MANIFEST}" DIRECTORY)
set(record "${build}/install_folders.txt")
if(EXISTS "${record}" AND "$ENV{DESTDIR}" STREQUAL "")
  file(STRINGS "${record}" made)
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
