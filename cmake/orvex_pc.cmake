# Run by `cmake --install`: writes orvex.pc for the prefix being installed to.
# Directories given relative to the prefix are written through ${prefix}.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${ORVEX_PC_${kind}}")
    set(ORVEX_PC_${kind}_PATH "${ORVEX_PC_${kind}}")
  else()
    set(ORVEX_PC_${kind}_PATH "\${prefix}/${ORVEX_PC_${kind}}")
  endif()
endforeach()
set(ORVEX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
if(ORVEX_PC_LIBS_PRIVATE)
  set(ORVEX_PC_LIBS_PRIVATE_LINE "Libs.private: ${ORVEX_PC_LIBS_PRIVATE}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/orvex.pc.in" "${ORVEX_PC_FILE}" @ONLY)
