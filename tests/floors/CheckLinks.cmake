# cmake -DPROGRAM=<file> -P CheckLinks.cmake: fails when the program loads a library of
# Qt's graphical modules, and when it does not run.
execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT libraries MATCHES "libQt6Core")
  message(FATAL_ERROR "ldd ${PROGRAM} failed (${status}):\n${libraries}")
endif()
string(REGEX MATCHALL "libQt6(Gui|Widgets|PrintSupport|OpenGL)[^ ]*" graphical "${libraries}")
if(graphical)
  message(FATAL_ERROR "The engine and data floors load ${graphical}:\n${libraries}")
endif()
execute_process(COMMAND ${PROGRAM} tst_floors "SELECT count(*) FROM PaBase"
  OUTPUT_VARIABLE rows ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT rows STREQUAL "200\n")
  message(FATAL_ERROR "velosql_enginereader: status ${status}, output '${rows}', errors '${errors}'")
endif()
message(STATUS "${PROGRAM} loads no graphical Qt library:\n${libraries}")
