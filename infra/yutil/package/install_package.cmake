# SPDX-License-Identifier: MIT
# What lets a consumer outside this tree find the installed library: a pkg-config
# file and a CMake package (yutil::yutil). Both are relocatable: they find the
# prefix from where they lie, so DESTDIR staging and a moved prefix both work.
include(CMakePackageConfigHelpers)
set(package_dir ${CMAKE_CURRENT_LIST_DIR})
set(cmake_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/yutil)
set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

file(RELATIVE_PATH pc_to_prefix /prefix/${pkgconfig_dir} /prefix)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${package_dir}/yutil.pc.in ${CMAKE_CURRENT_BINARY_DIR}/yutil.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/yutil.pc DESTINATION ${pkgconfig_dir})

install(EXPORT yutil-targets NAMESPACE yutil:: DESTINATION ${cmake_package_dir})
configure_package_config_file(${package_dir}/yutil-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/yutil-config.cmake
  INSTALL_DESTINATION ${cmake_package_dir}
  PATH_VARS CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/yutil-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/yutil-config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/yutil-config-version.cmake
        DESTINATION ${cmake_package_dir})
