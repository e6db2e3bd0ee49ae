# Brings the desktop's caches under GRIDLARK_PREFIX up to date after an install or an uninstall:
# the file-type database (share/mime, from share/mime/packages) and the entries' file-type list
# (share/applications/mimeinfo.cache). Skipped under DESTDIR (a staged or packaged install, whose
# system refreshes its own caches). Caches that list nothing any more are removed, so an
# uninstall leaves nothing behind.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
set(mime "${GRIDLARK_PREFIX}/share/mime")
set(applications "${GRIDLARK_PREFIX}/share/applications")

find_program(UPDATE_MIME_DATABASE update-mime-database)
file(GLOB packages "${mime}/packages/*.xml")
if(packages AND UPDATE_MIME_DATABASE)
  # Its note that a prefix outside XDG_DATA_DIRS is not searched is shown only with a failure.
  execute_process(COMMAND "${UPDATE_MIME_DATABASE}" "${mime}" RESULT_VARIABLE status
                  OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT status EQUAL 0)
    message(WARNING "update-mime-database ${mime} failed: ${status}\n${said}")
  endif()
elseif(NOT packages AND EXISTS "${mime}")
  # Everything beside packages/ is generated from it.
  file(REMOVE_RECURSE "${mime}")
endif()

find_program(UPDATE_DESKTOP_DATABASE update-desktop-database)
file(GLOB entries "${applications}/*.desktop")
if(entries AND UPDATE_DESKTOP_DATABASE)
  execute_process(COMMAND "${UPDATE_DESKTOP_DATABASE}" -q "${applications}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(WARNING "update-desktop-database ${applications} failed: ${status}")
  endif()
elseif(NOT entries)
  file(REMOVE "${applications}/mimeinfo.cache")
endif()
