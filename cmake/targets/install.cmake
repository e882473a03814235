# cmake --install: public headers, libveskoreng.so, libveskorx.so, the veskor tool, the sample data,
# veskor.pc / veskorx.pc and the CMake package veskor (veskor::engine, veskor::x).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Runs once the whole project is configured, so targets defined after this file are seen too.
function(veskor_install_rules)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/veskor DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

  set_target_properties(veskoreng PROPERTIES EXPORT_NAME engine)
  # The object layer loads libveskoreng.so from its own directory.
  set_target_properties(veskorx PROPERTIES EXPORT_NAME x INSTALL_RPATH "$ORIGIN")
  install(TARGETS veskoreng veskorx EXPORT veskorTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT veskorTargets NAMESPACE veskor:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/veskor)

  file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(veskor PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
  install(TARGETS veskor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/sample/ DESTINATION ${CMAKE_INSTALL_DATADIR}/veskor/sample)

  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/packaging/veskorConfig.cmake.in
    ${CMAKE_BINARY_DIR}/packaging/veskorConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/veskor)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/veskorConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/veskorConfig.cmake
    ${CMAKE_BINARY_DIR}/packaging/veskorConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/veskor)

  # pkg-config files are relocatable: every path is relative to the file's own place.
  file(RELATIVE_PATH pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(VESKOR_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  foreach(pc veskor veskorx)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/packaging/${pc}.pc.in ${CMAKE_BINARY_DIR}/packaging/${pc}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endforeach()

  # Builds a consumer against an install of this tree; sanitizer builds would need the consumer
  # built with the same runtime, so only plain builds run it.
  if(VESKOR_SANITIZE STREQUAL "")
    add_test(NAME install_tree COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/run.sh ${CMAKE_BINARY_DIR})
  endif()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL veskor_install_rules)
