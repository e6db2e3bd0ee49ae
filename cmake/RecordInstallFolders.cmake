# Run first by a live install (no DESTDIR): adds to RECORD (install_folders.txt beside the build
# folder's install manifest) every folder the install is about to make, from each of FOLDERS
# (relative to GRIDLARK_PREFIX) up to the first that exists, the prefix included. Uninstall.cmake
# removes only these, once empty, so a folder that was there before the install always stays.
# Folders recorded by an earlier install that still exist stay recorded (an install over an
# install makes nothing new).
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
set(made)
if(EXISTS "${RECORD}")
  file(STRINGS "${RECORD}" recorded)
  foreach(folder IN LISTS recorded)
    if(IS_DIRECTORY "${folder}")
      list(APPEND made "${folder}")
    endif()
  endforeach()
endif()
foreach(relative IN LISTS FOLDERS)
  set(folder "${GRIDLARK_PREFIX}/${relative}")
  while(NOT IS_DIRECTORY "${folder}" AND NOT EXISTS "${folder}")
    list(APPEND made "${folder}")
    get_filename_component(parent "${folder}" DIRECTORY)
    if(parent STREQUAL folder)
      break()
    endif()
    set(folder "${parent}")
  endwhile()
endforeach()
list(REMOVE_DUPLICATES made)
list(JOIN made "\n" text)
file(WRITE "${RECORD}" "${text}\n")
