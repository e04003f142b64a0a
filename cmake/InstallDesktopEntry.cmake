# Writes the desktop entry for the prefix being installed to, and installs it.
# Set by the caller: VORNEX_DESKTOP_TEMPLATE, VORNEX_DESKTOP_OUTPUT, VORNEX_DESKTOP_PROGRAM
# (relative to the prefix) and VORNEX_DESKTOP_DESTINATION (relative to the prefix).

# The program's path as one quoted argument of Exec: inside the quotes '"', '`', '$' and '\'
# are escaped with '\', and every '\' is then doubled again because the value itself is a
# string with escapes; a literal '%' is written '%%'.
set(path "${CMAKE_INSTALL_PREFIX}/${VORNEX_DESKTOP_PROGRAM}")
string(REPLACE "\\" "\\\\" path "${path}")
string(REPLACE "\"" "\\\"" path "${path}")
string(REPLACE "`" "\\`" path "${path}")
string(REPLACE "$" "\\$" path "${path}")
string(REPLACE "\\" "\\\\" path "${path}")
string(REPLACE "%" "%%" path "${path}")
string(FIND "${path}" "\n" newline)
if(NOT newline EQUAL -1)
  message(FATAL_ERROR "The installation prefix holds a line break: ${CMAKE_INSTALL_PREFIX}")
endif()
set(VORNEX_DESKTOP_EXEC "\"${path}\"")

configure_file("${VORNEX_DESKTOP_TEMPLATE}" "${VORNEX_DESKTOP_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${VORNEX_DESKTOP_DESTINATION}" TYPE FILE
  FILES "${VORNEX_DESKTOP_OUTPUT}")
