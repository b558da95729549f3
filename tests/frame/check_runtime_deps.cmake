# SPDX-License-Identifier: MIT
# The library must load without the C++ runtime or libgcc_s, and needs libbsd
# only where the C library has no strlcpy.
execute_process(COMMAND ${READELF} -d ${LIB} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${READELF} failed on ${LIB}")
endif()
if(dyn MATCHES "libstdc\\+\\+|libgcc_s")
  message(FATAL_ERROR "libyutil.so needs a C++ runtime library:\n${dyn}")
endif()
string(REGEX MATCH "libbsd[^]]*" bsd "${dyn}")
if(LIBC_HAS_STRLCPY AND bsd)
  message(FATAL_ERROR "libyutil.so needs ${bsd} though the C library has strlcpy")
elseif(NOT LIBC_HAS_STRLCPY AND NOT bsd)
  message(FATAL_ERROR "libyutil.so does not need libbsd, yet the C library has no strlcpy")
endif()
