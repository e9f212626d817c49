# Run by CPack once it has staged the package's files: signs the program there, before it is zipped, when the
# environment names the publisher's certificate. Authenticode with SHA-256, through osslsigncode:
#
#   TSM_SIGN_PFX            the certificate and its private key, a PKCS#12 file
#   TSM_SIGN_PASSWORD       the file's password
#   TSM_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamping service, so the signature outlives the certificate
#
# Without the first two the package is left unsigned.
set(pfx "$ENV{TSM_SIGN_PFX}")
if(pfx STREQUAL "" AND "$ENV{TSM_SIGN_PASSWORD}" STREQUAL "")
  return()
endif()
if(pfx STREQUAL "" OR NOT DEFINED ENV{TSM_SIGN_PASSWORD})
  message(FATAL_ERROR "signing: set both TSM_SIGN_PFX and TSM_SIGN_PASSWORD, or neither")
endif()
if(NOT CPACK_TSM_OSSLSIGNCODE)
  message(FATAL_ERROR "signing: osslsigncode was not found when the build was configured")
endif()

set(program "${CPACK_TEMPORARY_DIRECTORY}/${CPACK_TSM_SIGNED_FILE}")
set(timestamp)
if(NOT "$ENV{TSM_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{TSM_SIGN_TIMESTAMP_URL}")
endif()
# The password reaches osslsigncode on its standard input, never on a command line another user could read.
execute_process(
  COMMAND sh -c "printf '%s' \"$TSM_SIGN_PASSWORD\" | \"$0\" \"$@\"" "${CPACK_TSM_OSSLSIGNCODE}"
          sign -pkcs12 "${pfx}" -readpass /dev/stdin -h sha256 -n "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" ${timestamp}
          -in "${program}" -out "${program}.signed"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE "${program}.signed")
  message(FATAL_ERROR "signing ${CPACK_TSM_SIGNED_FILE} with ${pfx} failed (${result}):\n${output}")
endif()
file(RENAME "${program}.signed" "${program}")
message(STATUS "signed ${CPACK_TSM_SIGNED_FILE} with ${pfx}")
