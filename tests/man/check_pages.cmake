# SPDX-License-Identifier: MIT
# Every manual page, through each of its names, reads without a warning, and every
# function the library exports has a section-3 page that "man <function>" finds.
# -DMANDOC=... -DPAGES=<the built manual tree> -DMAP=<export map>
include(${CMAKE_CURRENT_LIST_DIR}/../support/export_map.cmake)
file(GLOB_RECURSE files ${PAGES}/man*/*)
set(problems "")
set(section3)
foreach(file ${files})
  execute_process(COMMAND ${MANDOC} -T lint -W warning ${file} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR out OR err)
    string(APPEND problems "${file}: ${out}${err}\n")
  endif()
  if(file MATCHES "/man3/([^/]+)\\.3$")
    list(APPEND section3 ${CMAKE_MATCH_1})
  endif()
endforeach()

yutil_export_map_names(${MAP} exported)
list(FILTER exported EXCLUDE REGEX "^g_") # trace module ids and allocation tags
set(missing ${exported})
list(REMOVE_ITEM missing ${section3})
if(missing)
  string(APPEND problems "exported without a section-3 page: ${missing}\n")
endif()
if(problems)
  message(FATAL_ERROR "${problems}")
endif()
list(LENGTH files n)
message(STATUS "${n} pages lint-clean; every exported function has one")
