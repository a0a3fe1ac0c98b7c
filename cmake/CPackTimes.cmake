# Run by CPack once a package's files are staged, before they are packed: the Windows programs
# are signed where a certificate is given, and every file and folder gets the commit's time,
# so that two builds of one commit pack the same bytes.
if(CPACK_VEHISECT_SIGN)
  file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe")
  foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_VEHISECT_SIGN}" "${program}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
if(staged)
  execute_process(COMMAND touch -h -d "@${CPACK_VEHISECT_EPOCH}" ${staged} "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
