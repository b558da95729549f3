# SPDX-License-Identifier: MIT
# Compares the dynamic symbols libyutil.so defines with the names of its export map,
# each with the version node the map lists it in (name@@YUTIL_1.0, name@@YUTIL_1.1).
execute_process(COMMAND ${NM} -D --defined-only ${LIB} OUTPUT_VARIABLE nm_out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" nm_lines "${nm_out}")
set(exported)
foreach(line ${nm_lines})
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([A-Za-z_][A-Za-z0-9_]*(@.*)?)$")
    list(APPEND exported ${CMAKE_MATCH_1})
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/../support/export_map.cmake)
yutil_export_map_names(${MAP} names listed)

list(SORT exported)
list(SORT listed)
set(extra ${exported})
list(REMOVE_ITEM extra ${listed})
set(missing ${listed})
list(REMOVE_ITEM missing ${exported})
if(extra OR missing)
  message(FATAL_ERROR "exported but not so in the map: ${extra}\nin the map but not exported so: ${missing}")
endif()
list(LENGTH exported n)
message(STATUS "${n} exported names, all in the map's version nodes")
