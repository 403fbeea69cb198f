# cmake -DPROGRAM=<file> [-DOBJDUMP=<objdump> -DRUNNER=<emulator>] -P CheckLinks.cmake:
# fails when the program loads a library of Qt's graphical modules, and when it does
# not run. A Windows program's libraries are those objdump lists it importing; it runs
# through RUNNER (wine).
if(OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE status)
  string(REGEX MATCHALL "DLL Name: [^\n]*" libraries "${libraries}")
  string(REPLACE ";" "\n" libraries "${libraries}")
else()
  execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE status)
endif()
if(NOT status EQUAL 0 OR NOT libraries MATCHES "Qt6Core")
  message(FATAL_ERROR "listing the libraries of ${PROGRAM} failed (${status}):\n${libraries}")
endif()
string(REGEX MATCHALL "(lib)?Qt6(Gui|Widgets|PrintSupport|OpenGL)[^ \n]*" graphical "${libraries}")
if(graphical)
  message(FATAL_ERROR "The engine and data floors load ${graphical}:\n${libraries}")
endif()
execute_process(COMMAND ${RUNNER} ${PROGRAM} tst_floors "SELECT count(*) FROM PaBase"
  OUTPUT_VARIABLE rows ERROR_VARIABLE errors RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" rows "${rows}")
if(NOT status EQUAL 0 OR NOT rows STREQUAL "200\n")
  message(FATAL_ERROR "velosql_enginereader: status ${status}, output '${rows}', errors '${errors}'")
endif()
message(STATUS "${PROGRAM} loads no graphical Qt library:\n${libraries}")
