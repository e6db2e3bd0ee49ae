# Installing the program: the executable, its resources, the desktop entry, the icons of the
# hicolor theme and the file type of session files; `make install` and the Debian package
# (`make package`, CPack) place the same files. The layout is fixed (bin/ beside
# share/gridlark/), since the program finds its resources relative to its own location.

# The icons: drawn by a small program of our own at build time, scalable plus these sizes.
set(GRIDLARK_ICON_SIZES 16 22 24 32 48 64 128 256 512)
set(GRIDLARK_ICON_DIR "${CMAKE_BINARY_DIR}/share/icons/hicolor")

add_executable(gridlark_make_icons "${CMAKE_SOURCE_DIR}/resources/icons/MakeIcons.cpp")
target_link_libraries(gridlark_make_icons PRIVATE Qt6::Gui)
set(icon_files "${GRIDLARK_ICON_DIR}/scalable/apps/gridlark.svg")
foreach(size IN LISTS GRIDLARK_ICON_SIZES)
  list(APPEND icon_files "${GRIDLARK_ICON_DIR}/${size}x${size}/apps/gridlark.png")
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:gridlark_make_icons> "${GRIDLARK_ICON_DIR}" ${GRIDLARK_ICON_SIZES}
  DEPENDS gridlark_make_icons VERBATIM)
add_custom_target(gridlark_icons DEPENDS ${icon_files})
add_dependencies(gridlark gridlark_icons)

# The folders the install places files in; a live install records those it makes, for
# uninstall (RecordInstallFolders.cmake). Runs before any file is placed.
set(GRIDLARK_INSTALL_FOLDERS bin share/applications share/mime/packages share/doc/gridlark
  share/icons/hicolor/scalable/apps)
foreach(resource IN LISTS GRIDLARK_PROGRAM_RESOURCES)
  get_filename_component(folder "share/gridlark/${resource}" DIRECTORY)
  list(APPEND GRIDLARK_INSTALL_FOLDERS "${folder}")
endforeach()
foreach(size IN LISTS GRIDLARK_ICON_SIZES)
  list(APPEND GRIDLARK_INSTALL_FOLDERS "share/icons/hicolor/${size}x${size}/apps")
endforeach()
install(CODE "set(GRIDLARK_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
set(FOLDERS \"${GRIDLARK_INSTALL_FOLDERS}\")
set(RECORD \"${CMAKE_BINARY_DIR}/install_folders.txt\")
include(\"${CMAKE_SOURCE_DIR}/cmake/RecordInstallFolders.cmake\")")

install(TARGETS gridlark RUNTIME DESTINATION bin)
foreach(resource IN LISTS GRIDLARK_PROGRAM_RESOURCES)
  get_filename_component(folder "${resource}" DIRECTORY)
  install(FILES "${GRIDLARK_RESOURCES_DIR}/${resource}" DESTINATION "share/gridlark/${folder}")
endforeach()
# The entry names the installed program by its full path, so it works for a prefix outside PATH
# too; the prefix is known only when installing (a package installs under its own).
install(CODE "set(GRIDLARK_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/bin/gridlark\")
configure_file(\"${GRIDLARK_RESOURCES_DIR}/desktop/gridlark.desktop.in\"
               \"${CMAKE_BINARY_DIR}/install/gridlark.desktop\" @ONLY)")
install(FILES "${CMAKE_BINARY_DIR}/install/gridlark.desktop" DESTINATION share/applications)
install(FILES "${GRIDLARK_RESOURCES_DIR}/desktop/gridlark.xml" DESTINATION share/mime/packages)
# What Debian asks of every package, and a plain install carries the same: the copyright file
# and the changelog, compressed as Debian's tools do it (best compression, no name or time).
configure_file("${GRIDLARK_RESOURCES_DIR}/doc/changelog.in" "${CMAKE_BINARY_DIR}/doc/changelog"
  @ONLY)
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/doc/changelog.gz"
  COMMAND gzip -9nf -k "${CMAKE_BINARY_DIR}/doc/changelog"
  DEPENDS "${CMAKE_BINARY_DIR}/doc/changelog" VERBATIM)
add_custom_target(gridlark_changelog DEPENDS "${CMAKE_BINARY_DIR}/doc/changelog.gz")
add_dependencies(gridlark gridlark_changelog)
install(FILES "${GRIDLARK_RESOURCES_DIR}/doc/copyright" "${CMAKE_BINARY_DIR}/doc/changelog.gz"
  DESTINATION share/doc/gridlark)
install(FILES "${GRIDLARK_ICON_DIR}/scalable/apps/gridlark.svg"
  DESTINATION share/icons/hicolor/scalable/apps)
foreach(size IN LISTS GRIDLARK_ICON_SIZES)
  install(FILES "${GRIDLARK_ICON_DIR}/${size}x${size}/apps/gridlark.png"
    DESTINATION "share/icons/hicolor/${size}x${size}/apps")
endforeach()
# Into a live prefix (no DESTDIR), the desktop's file-type and entry caches learn the new files;
# a package leaves that to the system's own triggers.
install(CODE "set(GRIDLARK_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
include(\"${CMAKE_SOURCE_DIR}/cmake/RefreshDesktopCaches.cmake\")")

# `cmake --build <build> --target uninstall` (or `make uninstall`): removes what the last install
# from this build folder placed, by its manifest.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -DPREFIX=${CMAKE_INSTALL_PREFIX} -P "${CMAKE_SOURCE_DIR}/cmake/Uninstall.cmake"
  VERBATIM)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gridlark)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Gridlark")
set(CPACK_PACKAGE_CONTACT "Gridlark developers <support@gridlark.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lap analysis of track days logged with a GPS data logger")
set(CPACK_PACKAGE_DESCRIPTION
  "Gridlark opens a logged session (.gld), finds the circuit and its gates,
cuts laps and sectors, and shows a lap table, a track map, channel charts
and lap videos that follow one cursor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://gridlark.org/")
# The shared libraries come from dpkg-shlibdeps; what the program loads or runs otherwise is named
# here: the video decoders of libvlc, and ffmpeg for cutting lap videos and thumbnails.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "vlc-plugin-base, shared-mime-info, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg")
# The packaged program is stripped, as Debian asks (debug data is not shipped); a crash report of
# it then names the program's own frames by offset, to be matched against the build.
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/package")
include(CPack)
