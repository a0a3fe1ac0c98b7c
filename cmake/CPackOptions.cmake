# Read by CPack for each generator: the installer is named as Windows installers are.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "Vehisect-${CPACK_PACKAGE_VERSION}-setup")
endif()
