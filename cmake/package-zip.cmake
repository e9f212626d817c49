# Run by CPack once it has made its zip: writes the zip again from the staged files with cmake/write-zip.py, whose
# bytes depend on nothing but the files' names and contents and the commit's date, then SHA256SUMS beside it in the
# output folder.
#
# The date is SOURCE_DATE_EPOCH when the environment sets it, else the commit's (git log -1 --format=%ct), else,
# outside a checkout, 1980-01-01, the earliest a zip can hold.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "" AND CPACK_TSM_GIT)
  execute_process(COMMAND "${CPACK_TSM_GIT}" -C "${CPACK_TSM_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    set(epoch "")
  endif()
endif()
if(epoch STREQUAL "")
  set(epoch 315532800)
endif()
if(NOT CPACK_TSM_PYTHON)
  message(FATAL_ERROR "packing: python3 was not found when the build was configured")
endif()

set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND "${CPACK_TSM_PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/write-zip.py" "${CPACK_TEMPORARY_DIRECTORY}" "${package}"
            "${epoch}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "packing: write-zip.py failed (${result}) for ${package}")
  endif()
  file(SHA256 "${package}" sum)
  get_filename_component(name "${package}" NAME)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
