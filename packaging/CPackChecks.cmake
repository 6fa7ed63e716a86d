# Read by cpack for every package it makes (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB"
   AND NOT CPACK_DIRWISE_CONFIGURED_PREFIX STREQUAL CPACK_PACKAGING_INSTALL_PREFIX)
    message(WARNING
        "This build was configured for ${CPACK_DIRWISE_CONFIGURED_PREFIX}, but the package "
        "installs under ${CPACK_PACKAGING_INSTALL_PREFIX}: Help on the Web in the packaged dw "
        "will not find the installed help page. Configure the build with "
        "-DCMAKE_INSTALL_PREFIX=${CPACK_PACKAGING_INSTALL_PREFIX} (packaging/build-deb.sh does).")
endif()
