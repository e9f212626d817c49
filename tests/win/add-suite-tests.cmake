# Run by CTest as it reads the tests (tsm_discover_wine_tests includes it): lists the suites of one GoogleTest
# executable under Wine and writes to SUITES_FILE one test per suite, which runs the suite's cases in one process, so
# that the cases share what their suite sets up once (a panel, a prefix warmed up) and Wine starts a process per
# suite rather than per case. The list is made again only when the executable is newer than it.
#
# In: EXECUTABLE, EMULATOR, FILTER (a gtest filter that picks whole suites, or empty), PROPERTIES (the tests'
# properties, as a list), SUITES_FILE.
if(EXISTS "${SUITES_FILE}" AND "${SUITES_FILE}" IS_NEWER_THAN "${EXECUTABLE}")
  return()
endif()

set(filter)
if(FILTER)
  set(filter "--gtest_filter=${FILTER}")
endif()
get_filename_component(folder "${EXECUTABLE}" DIRECTORY)
set(command "${EXECUTABLE}") # on Windows itself there is no emulator
if(EMULATOR)
  set(command "${EMULATOR}" "${EXECUTABLE}")
endif()
execute_process(COMMAND ${command} --gtest_list_tests ${filter}
                WORKING_DIRECTORY "${folder}" TIMEOUT 60
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot list the suites of ${EXECUTABLE} (${result}):\n${listing}")
endif()

# A suite's line starts in the first column and ends its name with a dot, perhaps followed by "  # TypeParam = ...";
# its cases follow, indented.
string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\r" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
list(TRANSFORM command REPLACE "(.+)" "[==[\\1]==]")
list(JOIN command " " command)
set(script "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.( |$)")
    set(suite "${CMAKE_MATCH_1}")
    string(APPEND script
      "add_test([==[${suite}]==] ${command} [==[--gtest_filter=${suite}.*]==])\n"
      "set_tests_properties([==[${suite}]==] PROPERTIES WORKING_DIRECTORY [==[${folder}]==] ${PROPERTIES})\n")
  endif()
endforeach()
if(script STREQUAL "")
  message(FATAL_ERROR "${EXECUTABLE} lists no suites:\n${listing}")
endif()
file(WRITE "${SUITES_FILE}" "${script}")
