# Run by `cmake --install`: installs python/orvex into ORVEX_PY_DIR (relative to
# the prefix, or absolute) or, when that is empty, where ORVEX_PY_INTERPRETER
# finds the packages of the prefix installed to. Decided now, not at configure
# time, as `--prefix` may name another prefix; under DESTDIR, for the final one.
# Beside it goes orvex/_installed.py, the way from the package to ORVEX_PY_LIBDIR,
# so the binding loads the library installed with it wherever either went.
set(dir "${ORVEX_PY_DIR}")
if(dir STREQUAL "")
  execute_process(COMMAND "${ORVEX_PY_INTERPRETER}" -I "${CMAKE_CURRENT_LIST_DIR}/python_site.py"
                          "${CMAKE_INSTALL_PREFIX}"
                  OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR dir STREQUAL "")
    message(FATAL_ERROR "${ORVEX_PY_INTERPRETER} did not tell where packages of ${CMAKE_INSTALL_PREFIX} "
                        "go: configure with ORVEX_INSTALL_PYTHONDIR")
  endif()
endif()
if(NOT IS_ABSOLUTE "${dir}")
  set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
endif()
file(INSTALL DESTINATION "${dir}" TYPE DIRECTORY FILES "${ORVEX_PY_SOURCE_DIR}/python/orvex"
     FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)

set(libdir "${ORVEX_PY_LIBDIR}")
if(NOT IS_ABSOLUTE "${libdir}")
  set(libdir "${CMAKE_INSTALL_PREFIX}/${libdir}")
endif()
file(RELATIVE_PATH to_lib "${dir}/orvex" "${libdir}")
set(generated "${ORVEX_PY_BINARY_DIR}/python/_installed.py")
file(WRITE "${generated}" "\"\"\"Written by cmake --install: where the library installed with this package lies.\"\"\"\n\n"
                          "LIBDIR = \"${to_lib}\"  # relative to this package's folder\n")
file(INSTALL DESTINATION "${dir}/orvex" TYPE FILE FILES "${generated}")
