# vehisect_man_page(TARGET SUMMARY [ENV...]): the manual page of the program TARGET, made by
# help2man from its own --help and --version, so that it cannot drift from them, gzipped and
# installed in man1. Without help2man there is none.
find_program(VEHISECT_HELP2MAN help2man)
function(vehisect_man_page target summary)
  if(NOT VEHISECT_HELP2MAN)
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  # Run by its name, as a user runs it, so that no build path shows in the page.
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VEHISECT_EPOCH} ${ARGN}
            "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
            ${VEHISECT_HELP2MAN} --no-info --name=${summary} --output=${page} ${target}
    COMMAND gzip -9nf ${page}
    DEPENDS ${target}
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
