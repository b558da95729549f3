# SPDX-License-Identifier: MIT
# yutil_export_map_names(MAP OUT): the names the export map lists as global.
function(yutil_export_map_names map out)
  file(READ ${map} text)
  string(REGEX REPLACE "/\\*[^*]*\\*/" "" text "${text}")
  string(REGEX MATCH "global:(.*)local:" globals "${text}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" names "${CMAKE_MATCH_1}")
  set(${out} ${names} PARENT_SCOPE)
endfunction()
