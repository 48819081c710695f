# Debian packages (cpack -G DEB, `make package`), one per install component:
#   mv120mbs100           the shared object and its data files (runtime)
#   merivane-basics-dev   headers, CMake package, pkg-config file, docs (dev)
#   merivane-basics-tools the mvbasics tool (tool)
# Built from a tree configured with the `package` preset (prefix /usr, the library in the
# multiarch folder that GNUInstallDirs picks). Library dependencies come from
# dpkg-shlibdeps; the packages depend on each other at the exact version.
string(TOLOWER ${MVB_MODULE_NAME} MVB_DEB_RUNTIME)
set(MVB_DEB_SOURCE merivane-basics)
set(MVB_DEB_DEV merivane-basics-dev)
set(MVB_DEB_TOOL merivane-basics-tools)

set(CPACK_PACKAGE_NAME ${MVB_DEB_SOURCE})
set(CPACK_PACKAGE_VERSION ${MVB_VERSION_TEXT})
set(CPACK_PACKAGE_CONTACT "Merivane Basics developers <merivane-basics@merivane.invalid>")
set(CPACK_PACKAGE_VENDOR "Ardwyn")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tool)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${MVB_DEB_SOURCE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://merivane.invalid/basics")
# The tool links the runtime package's library, which no installed package provides yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${PROJECT_BINARY_DIR}/packages/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-Linux/runtime/usr/${CMAKE_INSTALL_LIBDIR})

set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_TOOL_DEPENDS runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${MVB_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Opened with dlopen on first use, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libsqlite3-0, libsystemd0")
# The library lives in a folder of the dynamic loader's cache: ldconfig runs by trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Merivane Basics: the basic-services library of the Merivane runtime
 The shared object ${MVB_MODULE_NAME}.so that every other module of the Merivane
 object database runtime loads: containers and arrays, the memory file,
 checksums and compression, stored-data conversion, the error catalogue, the
 system log, timers, settings, the module loader and the performance counters,
 with the counter text files beside it.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${MVB_DEB_DEV})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Merivane Basics: development files
 Headers of the Merivane Basics library (include/merivane), its CMake
 package (find_package(MerivaneBasics), target Merivane::basics) and its
 pkg-config file (merivane-basics), with the library's documentation.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${MVB_DEB_TOOL})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "Merivane Basics: the mvbasics tool
 The mvbasics command: a guided tour of the library, the message texts of
 result codes, the registry's settings, the event file, the runtime's
 modules and their descriptions, checksums and compression of stored
 data, and the performance counters of the Merivane runtime (read, watch,
 or scraped by Prometheus). With its manual page and bash completion.")

# The module's file name is fixed by the runtime's module protocol; lintian is told why.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${MVB_DEB_RUNTIME}
  COMPONENT runtime)

# Every package carries its copyright file and changelog in its documentation folder.
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/packaging/changelog)
foreach(component runtime dev tool)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component})
endforeach()

include(CPack)
