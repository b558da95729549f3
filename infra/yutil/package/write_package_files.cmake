# SPDX-License-Identifier: MIT
# Run by `cmake --install`: writes yutil.pc and yutil-config.cmake into `output`
# for the prefix given then, which may not be the configured one
# (cmake --install --prefix).
function(yutil_write_package_files output version libdir includedir)
  # The names yutil.pc.in takes them by.
  set(PROJECT_VERSION ${version})
  set(CMAKE_INSTALL_LIBDIR ${libdir})
  set(CMAKE_INSTALL_INCLUDEDIR ${includedir})
  if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
    # A distribution's prefix: plain paths, which pkg-config leaves out where they
    # are the system's, and no -rpath-link, as the platform libraries lie where the
    # linker looks anyway.
    set(pc_prefix /usr)
    set(pc_rpath_link "")
    set(config_rpath_link "")
  else()
    # Anywhere else both files find the prefix from where they lie, so a staged or
    # moved tree works, and the platform libraries libyutil needs may lie beside
    # it: -rpath-link lets the linker find them there, also a cross linker, which
    # ignores RUNPATH.
    file(RELATIVE_PATH pc_to_prefix /prefix/${libdir}/pkgconfig /prefix)
    string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
    set(pc_prefix "\${pcfiledir}/${pc_to_prefix}")
    set(pc_rpath_link "-Wl,-rpath-link,\${libdir} ")
    string(CONCAT config_rpath_link
      "# The platform libraries may lie beside libyutil, where a linker does not look.\n"
      "set_property(TARGET yutil::yutil APPEND PROPERTY INTERFACE_LINK_OPTIONS\n"
      "  \"LINKER:-rpath-link,\${PACKAGE_PREFIX_DIR}/${libdir}\")\n")
  endif()
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/yutil.pc.in ${output}/yutil.pc @ONLY)
  include(CMakePackageConfigHelpers)
  configure_package_config_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/yutil-config.cmake.in
    ${output}/yutil-config.cmake
    INSTALL_DESTINATION ${libdir}/cmake/yutil)
endfunction()
