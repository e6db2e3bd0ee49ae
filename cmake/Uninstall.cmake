cmake_minimum_required(VERSION 3.25)
# Removes the files of an install by its manifest (MANIFEST, the install_manifest.txt of the build
# folder that installed), then the folders they leave empty below PREFIX/share and PREFIX/bin,
# then refreshes the desktop's caches. DESTDIR as for the install.
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
set(folders)
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
  get_filename_component(folder "${path}" DIRECTORY)
  list(APPEND folders "${folder}")
endforeach()

# Folders left empty, deepest first, up to (not including) the prefix's share/ and bin/; rmdir
# refuses a folder that still holds anything.
foreach(folder IN LISTS folders)
  while(TRUE)
    below("${folder}" "${root}/share" in_share)
    below("${folder}" "${root}/bin" in_bin)
    if(NOT (in_share OR in_bin) OR NOT IS_DIRECTORY "${folder}")
      break()
    endif()
    execute_process(COMMAND rmdir "${folder}" RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0)
      break()
    endif()
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()

set(GRIDLARK_PREFIX "${PREFIX}")
include("${CMAKE_CURRENT_LIST_DIR}/RefreshDesktopCaches.cmake")
# The caches removed, their folders may be empty now too.
foreach(folder "${root}/share/applications" "${root}/share/mime")
  if(IS_DIRECTORY "${folder}")
    execute_process(COMMAND rmdir "${folder}" ERROR_QUIET)
  endif()
endforeach()
