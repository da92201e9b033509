# Installs the manual page `page` (a path) as share/man/man6/<name>.gz, its
# @PREFIX@ replaced by the installation's prefix: run by cmake --install,
# which knows the prefix given to it (--prefix) only then. Compressed as
# Debian wants manual pages, reproducibly (no name, no time).
string(REPLACE "-" "\\-" roff_prefix "${CMAKE_INSTALL_PREFIX}")  # a hyphen in roff
file(READ "${page}" text)
string(REPLACE "@PREFIX@" "${roff_prefix}" text "${text}")

get_filename_component(name "${page}" NAME)
set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/man/man6/${name}")
message(STATUS "Installing: ${installed}.gz")
file(WRITE "${installed}" "${text}")
execute_process(COMMAND gzip -9nf "${installed}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${installed}: ${status}")
endif()
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${installed}.gz")
