# vehisect_man_page(PAGE): the manual page PAGE kept in the tree beside its program (written
# as the best pages are, with what --help cannot say: the window, the keys, the exit status,
# the files), gzipped reproducibly and installed in man1. scripts/test-packages renders it
# with warnings on.
function(vehisect_man_page page)
  get_filename_component(name ${page} NAME)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${page} > ${gz}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${page}
    VERBATIM)
  add_custom_target(${name}-man ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
