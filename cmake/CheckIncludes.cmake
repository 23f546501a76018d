# Fails when a source includes a header of a folder above its own. The
# libraries stack in this order, lowest first; a file may include its own
# folder and the folders below it. The meter simulator (meter/sim) stands
# apart: only the tools, the tests and the benchmarks may include it.
#
#   cmake -DSOURCE_DIR=<project> -P CheckIncludes.cmake
set(layers record analysis plan scpi store meter draw report commands session remote view web app)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

function(layer_of path out)
  set(rank -1)
  if(path MATCHES "^meter/sim/")
    set(rank "sim")
  else()
    string(REGEX MATCH "^[^/]+" top "${path}")
    list(FIND layers "${top}" rank)
  endif()
  set(${out} "${rank}" PARENT_SCOPE)
endfunction()

set(violations "")
set(checked 0)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    math(EXPR checked "${checked} + 1")
    layer_of("${source}" own)
    file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      layer_of("${header}" theirs)
      if(theirs STREQUAL "sim")
        if(NOT own STREQUAL "sim")
          list(APPEND violations "${source} includes the simulator's ${header}")
        endif()
      elseif(own STREQUAL "sim")
        # The simulator sits on the meter library and what lies below it.
        list(FIND layers meter meterRank)
        if(theirs GREATER meterRank)
          list(APPEND violations "${source} includes ${header}, above the simulator")
        endif()
      elseif(theirs GREATER own)
        list(APPEND violations "${source} includes ${header}, from a folder above its own")
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no sources found below ${SOURCE_DIR}")
endif()
if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes that run upwards:\n  ${text}")
endif()
message(STATUS "${checked} sources checked: every include runs downwards")
