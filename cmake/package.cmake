# The package: the program, this README and the LICENSE in one zip at the top of the build folder, with SHA256SUMS
# beside it; cpack --preset windows, or the package target. CPack stages the installed files; the scripts below sign
# the program in the staging folder when asked, then write the zip themselves, because CPack's takes each entry's
# date from the file in the local time zone and records the builder's user and group: the same commit then gives
# the same zip wherever, whenever and by whomever it is packed.
install(FILES README.md LICENSE DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_VENDOR "Torvale Service Manager")
# The three files at the top of the archive, as a user unpacks them next to the server's scripts.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# What the scripts need, handed to them through CPack's configuration.
find_program(TSM_PYTHON NAMES python3 python)
find_program(TSM_GIT git)
find_program(TSM_OSSLSIGNCODE osslsigncode) # only when signing
set(CPACK_TSM_PYTHON "${TSM_PYTHON}")
set(CPACK_TSM_GIT "${TSM_GIT}")
set(CPACK_TSM_OSSLSIGNCODE "${TSM_OSSLSIGNCODE}")
set(CPACK_TSM_SOURCE_DIR "${CMAKE_SOURCE_DIR}")
set(CPACK_TSM_SIGNED_FILE "TorvaleServiceManager${CMAKE_EXECUTABLE_SUFFIX}")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/package-sign.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/package-zip.cmake")
include(CPack)
