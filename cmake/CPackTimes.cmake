# Run by CPack once a package's files are staged, before they are packed: every file and
# folder gets the commit's time, so that two builds of one commit pack the same bytes.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
if(staged)
  execute_process(COMMAND touch -h -d "@${CPACK_VEHISECT_EPOCH}" ${staged} "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
