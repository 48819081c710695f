# Install rules: the library and its data files, the public headers, the tool, the docs,
# the CMake package and the pkg-config file. Every path is relative to the prefix, so the
# installed tree works wherever it is put (cmake --install <build> --prefix <anywhere>).
# Components: runtime (library + data files), dev (headers, CMake package, pkg-config),
# tool (mvbasics); the Debian packages follow them.
include(CMakePackageConfigHelpers)

# The library's data files sit beside it: on Windows the DLL is a runtime file.
if(WIN32)
  set(MVB_INSTALL_MODULEDIR ${CMAKE_INSTALL_BINDIR})
else()
  set(MVB_INSTALL_MODULEDIR ${CMAKE_INSTALL_LIBDIR})
endif()
set(MVB_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/MerivaneBasics)
# The documentation goes with the development files (Debian package merivane-basics-dev).
set(MVB_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/merivane-basics-dev)

install(TARGETS mvbasics EXPORT MerivaneBasicsTargets
  LIBRARY DESTINATION ${MVB_INSTALL_MODULEDIR} COMPONENT runtime NAMELINK_SKIP
  RUNTIME DESTINATION ${MVB_INSTALL_MODULEDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${MVB_RESOURCES} DESTINATION ${MVB_INSTALL_MODULEDIR} COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/basics/inc/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/merivane
  COMPONENT dev FILES_MATCHING PATTERN "*.h")

if(TARGET mvbasics-tool AND MVB_BUILD_TOOLS)
  if(MVB_INSTALL_RPATH AND NOT WIN32)
    file(RELATIVE_PATH _mvb_bin_to_lib ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
         ${CMAKE_INSTALL_PREFIX}/${MVB_INSTALL_MODULEDIR})
    set_target_properties(mvbasics-tool PROPERTIES INSTALL_RPATH "$ORIGIN/${_mvb_bin_to_lib}")
  endif()
  install(TARGETS mvbasics-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  if(MVB_TOOL_MANPAGE)
    install(FILES ${MVB_TOOL_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/mvbasics
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT tool)
  # The operators' documents go with the tool (Debian package merivane-basics-tools).
  install(FILES ${PROJECT_SOURCE_DIR}/docs/operators.md ${PROJECT_SOURCE_DIR}/docs/registry-export.md
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/merivane-basics-tools COMPONENT tool)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
              ${PROJECT_SOURCE_DIR}/docs/porting.md
  DESTINATION ${MVB_INSTALL_DOCDIR} COMPONENT dev)

# CMake package: Merivane::basics, same-major compatibility.
install(EXPORT MerivaneBasicsTargets NAMESPACE Merivane:: DESTINATION ${MVB_INSTALL_CMAKEDIR}
  COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MerivaneBasicsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/MerivaneBasicsConfig.cmake INSTALL_DESTINATION ${MVB_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/MerivaneBasicsConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/MerivaneBasicsConfig.cmake
              ${PROJECT_BINARY_DIR}/package/MerivaneBasicsConfigVersion.cmake
  DESTINATION ${MVB_INSTALL_CMAKEDIR} COMPONENT dev)

# pkg-config: the prefix is found from the .pc file's own folder.
set(MVB_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH MVB_PC_PREFIX_FROM_PCDIR /prefix/${MVB_PC_DIR} /prefix)
set(MVB_MODULE_FILE ${MVB_MODULE_NAME}${CMAKE_SHARED_LIBRARY_SUFFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/merivane-basics.pc.in
  ${PROJECT_BINARY_DIR}/package/merivane-basics.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/merivane-basics.pc DESTINATION ${MVB_PC_DIR}
  COMPONENT dev)

# Debian packages, for this project's own builds.
if(PROJECT_IS_TOP_LEVEL)
  include(${PROJECT_SOURCE_DIR}/cmake/MerivanePackaging.cmake)
endif()
