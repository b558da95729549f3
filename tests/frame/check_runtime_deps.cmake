# The library must load without the C++ runtime or libgcc_s.
execute_process(COMMAND ${READELF} -d ${LIB} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${READELF} failed on ${LIB}")
endif()
if(dyn MATCHES "libstdc\\+\\+|libgcc_s")
  message(FATAL_ERROR "libyutil.so needs a C++ runtime library:\n${dyn}")
endif()
