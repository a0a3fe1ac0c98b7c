# vehisect_install_program(TARGET): installs the program TARGET into the binaries' folder;
# on Linux without the compiler's notes (.comment), as Debian's dh_strip leaves them out and
# CPack's strip keeps them.
function(vehisect_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(CMAKE_OBJCOPY AND NOT WIN32)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\"
      COMMAND_ERROR_IS_FATAL ANY)")
  endif()
endfunction()
