# What `cmake --install` puts under the prefix: the shared library with its
# SONAME and development link, the headers, the orvex command and its man
# page, the README, and the pkg-config and CMake package files. With
# ORVEX_INSTALL_STATIC, also liborvex.a (the core library, PIC objects).
#
# Components, for packagers who split: Runtime (library, command, man page,
# README), Development (headers, links, static library, package files) and
# Python (the binding).

set(ORVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Orvex)

install(TARGETS orvex EXPORT OrvexTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/orvex.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT Development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/orvex DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT Development FILES_MATCHING PATTERN "*.h")
install(EXPORT OrvexTargets NAMESPACE Orvex:: DESTINATION ${ORVEX_CMAKE_DIR} COMPONENT Development)

if(ORVEX_INSTALL_STATIC)
  # Named liborvex.a so that `-lorvex` under pkg-config --static finds it.
  set_target_properties(orvex_core PROPERTIES OUTPUT_NAME orvex EXPORT_NAME orvex_static)
  install(TARGETS orvex_core EXPORT OrvexStaticTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT OrvexStaticTargets NAMESPACE Orvex:: DESTINATION ${ORVEX_CMAKE_DIR} COMPONENT Development)
endif()

# The command finds the library beside it wherever the tree is moved;
# packagers who want no runpath set CMAKE_SKIP_INSTALL_RPATH.
file(RELATIVE_PATH ORVEX_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(orvex_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${ORVEX_BIN_TO_LIB}")
install(TARGETS orvex_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
install(FILES ${PROJECT_SOURCE_DIR}/tools/orvex/orvex.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT Runtime)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)
# The Python binding where the system's python3 looks for the prefix's packages (/usr and
# /usr/local: found at once; elsewhere: P/lib/python3.X/site-packages, beside P/lib, which it
# loads from). A packager names another folder with ORVEX_INSTALL_PYTHONDIR.
if(ORVEX_INSTALL_PYTHONDIR STREQUAL "" AND NOT ORVEX_PYTHON3)
  message(STATUS "No python3: the Python binding is not installed (ORVEX_INSTALL_PYTHONDIR names a folder for it)")
else()
  install(CODE "
    set(ORVEX_PY_DIR \"${ORVEX_INSTALL_PYTHONDIR}\")
    set(ORVEX_PY_INTERPRETER \"${ORVEX_PYTHON3}\")
    set(ORVEX_PY_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
    set(ORVEX_PY_BINARY_DIR \"${PROJECT_BINARY_DIR}\")
    set(ORVEX_PY_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/install_python.cmake\")
  " COMPONENT Python)
endif()

include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/OrvexConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/OrvexConfig.cmake INSTALL_DESTINATION ${ORVEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvexConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/OrvexConfig.cmake ${PROJECT_BINARY_DIR}/OrvexConfigVersion.cmake
        DESTINATION ${ORVEX_CMAKE_DIR} COMPONENT Development)

# orvex.pc is written at install time, so that its paths name the prefix
# actually installed to (`cmake --install build --prefix P`), not the one
# configured. Under DESTDIR it names the final prefix, as a package needs.
if(ORVEX_INSTALL_STATIC)
  # What `pkg-config --static --libs orvex` adds for liborvex.a.
  set(ORVEX_PC_LIBS_PRIVATE "-lcurl -lpugixml -lcrypto -lmspack -lstdc++ -lm -pthread")
else()
  set(ORVEX_PC_LIBS_PRIVATE "")
endif()
install(CODE "
  set(ORVEX_PC_FILE \"${PROJECT_BINARY_DIR}/pkgconfig/orvex.pc\")
  set(ORVEX_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(ORVEX_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(ORVEX_PC_VERSION \"${PROJECT_VERSION}\")
  set(ORVEX_PC_LIBS_PRIVATE \"${ORVEX_PC_LIBS_PRIVATE}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/orvex_pc.cmake\")
" COMPONENT Development)
install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/orvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT Development)
