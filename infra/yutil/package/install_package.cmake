# SPDX-License-Identifier: MIT
# What lets a consumer outside this tree find the installed library: a pkg-config
# file and a CMake package (yutil::yutil). Under /usr they name plain paths;
# anywhere else they are relocatable, finding the prefix from where they lie, so
# DESTDIR staging and a moved prefix both work. Which one is decided when
# installing, by the prefix given then.
include(CMakePackageConfigHelpers)
set(package_dir ${CMAKE_CURRENT_LIST_DIR})
set(cmake_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/yutil)
set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(for_install ${CMAKE_CURRENT_BINARY_DIR}/package)

install(CODE "include([[${package_dir}/write_package_files.cmake]])
  yutil_write_package_files([[${for_install}]] [[${PROJECT_VERSION}]]
    [[${CMAKE_INSTALL_LIBDIR}]] [[${CMAKE_INSTALL_INCLUDEDIR}]])")
install(FILES ${for_install}/yutil.pc DESTINATION ${pkgconfig_dir})

install(EXPORT yutil-targets NAMESPACE yutil:: DESTINATION ${cmake_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/yutil-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${for_install}/yutil-config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/yutil-config-version.cmake
        DESTINATION ${cmake_package_dir})
