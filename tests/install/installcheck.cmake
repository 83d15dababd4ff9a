# Installs the build into an empty prefix as `cmake --install --strip` does,
# and checks what a desktop needs: every file in place and nothing else, the
# programs stripped and running from there, the icons at their sizes, the
# man page naming every command, and the desktop, metainfo and file type
# files valid where the Debian tools that check them are installed.
#   cmake -DBUILD_DIR=<build folder> -DPREFIX=<folder, emptied first> -P installcheck.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --strip
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(problems "")
macro(problem text)
  string(APPEND problems "  ${text}\n")
endmacro()

set(sizes 16 22 24 32 48 64 128 256 512)
set(expected
  bin/plumora bin/plumora-cli
  share/applications/org.example.plumora.desktop
  share/metainfo/org.example.plumora.metainfo.xml
  share/mime/packages/plumora-zqa.xml
  share/thumbnailers/plumora.thumbnailer
  share/man/man1/plumora.1 share/man/man1/plumora-cli.1
  share/plumora/help/plumora.html
  share/icons/hicolor/scalable/apps/plumora.svg
  share/icons/hicolor/scalable/mimetypes/application-x-plumora-gesture.svg)
foreach(size ${sizes})
  list(APPEND expected
    share/icons/hicolor/${size}x${size}/apps/plumora.png
    share/icons/hicolor/${size}x${size}/mimetypes/application-x-plumora-gesture.png)
endforeach()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
foreach(file ${expected})
  if(NOT EXISTS ${PREFIX}/${file})
    problem("not installed: ${file}")
  endif()
endforeach()
foreach(file ${installed})
  if(NOT file IN_LIST expected)
    problem("installed but not expected: ${file}")
  endif()
endforeach()

# Each PNG icon is as large as its folder says (the width and height in its
# header, bytes 16 to 23).
foreach(size ${sizes})
  math(EXPR hex "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" hex "${hex}")
  string(LENGTH "${hex}" length)
  math(EXPR pad "8 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  set(dimension "${zeros}${hex}")
  foreach(icon apps/plumora mimetypes/application-x-plumora-gesture)
    set(png ${PREFIX}/share/icons/hicolor/${size}x${size}/${icon}.png)
    if(EXISTS ${png})
      file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
      if(NOT header STREQUAL "${dimension}${dimension}")
        problem("${size}x${size}/${icon}.png is not ${size} x ${size} pixels (header ${header})")
      endif()
    endif()
  endforeach()
endforeach()

# The programs are stripped, and run from the prefix without a display.
find_program(READELF readelf)
foreach(program plumora plumora-cli)
  set(binary ${PREFIX}/bin/${program})
  if(NOT EXISTS ${binary})
    continue()
  endif()
  if(READELF)
    execute_process(COMMAND ${READELF} -S -W ${binary} OUTPUT_VARIABLE sections)
    if(sections MATCHES "\\.symtab|\\.debug_info")
      problem("${program} is not stripped")
    endif()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
    --unset=QT_QPA_PLATFORM ${binary} --version
    RESULT_VARIABLE result OUTPUT_VARIABLE version ERROR_VARIABLE error)
  if(result OR NOT version MATCHES "^${program} [0-9]+\\.[0-9]+")
    problem("installed ${program} --version: exit ${result}: ${version}${error}")
  endif()
endforeach()

# The man page of plumora-cli names every command the program lists.
execute_process(COMMAND ${PREFIX}/bin/plumora-cli --help OUTPUT_VARIABLE usage)
string(REGEX MATCH "Commands:(\n  [^\n]*)*" usage "${usage}")
string(REGEX MATCHALL "\n  [a-z][a-z-]*" commands "${usage}")
file(READ ${PREFIX}/share/man/man1/plumora-cli.1 manual)
if(NOT commands)
  problem("plumora-cli --help lists no commands")
endif()
foreach(command ${commands})
  string(STRIP "${command}" command)
  string(REPLACE "-" "\\-" roff "${command}")
  string(FIND "${manual}" "\n.BR ${roff} " at)
  if(at LESS 0)
    problem("the plumora-cli man page does not describe the command ${command}")
  endif()
endforeach()
find_program(MAN man)
if(MAN)
  foreach(page plumora plumora-cli)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANWIDTH=80
      ${MAN} --warnings -l ${PREFIX}/share/man/man1/${page}.1
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE warnings)
    if(result OR warnings)
      problem("man page ${page}.1: ${warnings}")
    endif()
  endforeach()
endif()

# The thumbnailer runs the installed command that makes thumbnails.
file(READ ${PREFIX}/share/thumbnailers/plumora.thumbnailer thumbnailer)
if(NOT thumbnailer MATCHES "\nExec=plumora-cli thumbnail %i %o --size %s\n"
    OR NOT thumbnailer MATCHES "\nMimeType=application/x-plumora-gesture;\n")
  problem("plumora.thumbnailer does not run plumora-cli thumbnail for gesture files")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/org.example.plumora.desktop
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result OR output)
    problem("desktop-file-validate: ${output}")
  endif()
else()
  message(STATUS "desktop-file-validate is not installed (Debian desktop-file-utils): not run")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --pedantic
    ${PREFIX}/share/metainfo/org.example.plumora.metainfo.xml
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result)
    problem("appstreamcli validate: ${output}")
  endif()
else()
  message(STATUS "appstreamcli is not installed (Debian appstream): not run")
endif()
# The file type reads, and names *.zqa and its icon; this adds the database
# files to the prefix, so it comes after the list of files was checked.
find_program(UPDATE_MIME_DATABASE update-mime-database)
if(UPDATE_MIME_DATABASE)
  # Run as for a desktop that searches the prefix, so it has no note to add.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_DATA_DIRS=${PREFIX}/share
    ${UPDATE_MIME_DATABASE} ${PREFIX}/share/mime
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(READ ${PREFIX}/share/mime/globs2 globs)
  file(READ ${PREFIX}/share/mime/icons icons)
  if(result OR output OR NOT globs MATCHES "application/x-plumora-gesture:\\*\\.zqa"
      OR NOT icons MATCHES "application/x-plumora-gesture:application-x-plumora-gesture")
    problem("the gesture file type does not read as one for *.zqa with its icon: ${output}")
  endif()
endif()

if(problems)
  message(FATAL_ERROR "The installation in ${PREFIX} is not right:\n${problems}")
endif()
list(LENGTH expected count)
message(STATUS "Installed and checked ${count} files in ${PREFIX}")
