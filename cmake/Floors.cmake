# The program is built in floors, one library each; a floor uses only the floors below
# it. Linking enforces it for the libraries (a floor that does not link Qt Widgets
# cannot include a widget), and velosql_floor() for the program's own headers: at
# configure time it reads every source of the floor and stops on an include that names
# a folder the floor may not reach.
set(VELOSQL_FLOORS platform engine data output export ui app)

function(velosql_floor target)
  cmake_parse_arguments(PARSE_ARGV 1 floor "" "FOLDER" "USES")
  set(allowed ${floor_FOLDER} ${floor_USES})
  get_target_property(sources ${target} SOURCES)
  foreach(source ${sources})
    if(NOT source MATCHES "\\.(h|cpp)$")
      continue()
    endif()
    file(STRINGS ${source} includes REGEX "^#include \"[a-z]+/")
    foreach(line ${includes})
      string(REGEX MATCH "\"([a-z]+)/" _ "${line}")
      set(folder ${CMAKE_MATCH_1})
      if(folder IN_LIST VELOSQL_FLOORS AND NOT folder IN_LIST allowed)
        message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${source}: ${floor_FOLDER}/ may not include ${folder}/ (${line})")
      endif()
    endforeach()
  endforeach()
endfunction()
