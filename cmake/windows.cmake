# 64-bit Windows build: the panel, the stand-in server, and the tests that run under Wine.
enable_language(RC)

# One static executable that needs nothing beyond Windows' own DLLs.
add_link_options(-static)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(TSM_WIN_DEFINITIONS WIN32_LEAN_AND_MEAN NOMINMAX STRICT _WIN32_WINNT=0x0601 WINVER=0x0601)
target_compile_definitions(tsm_core PUBLIC ${TSM_WIN_DEFINITIONS})

# The panel's units, each a library of its own so that a test links only the unit it proves.
add_library(tsm_service STATIC src/ServiceStatus.cpp)
target_link_libraries(tsm_service PUBLIC tsm_core advapi32)

add_library(tsm_xml STATIC src/XMLAdapter.cpp src/ConfigLookup.cpp)
target_link_libraries(tsm_xml PUBLIC tsm_core ole32 oleaut32 uuid shlwapi)

add_library(tsm_http STATIC src/HttpClient.cpp)
target_link_libraries(tsm_http PUBLIC tsm_core ws2_32)

file(GLOB TSM_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/MainForm*.cpp ${CMAKE_SOURCE_DIR}/src/Ui*.cpp)
add_library(tsm_ui STATIC ${TSM_UI_SOURCES})
target_link_libraries(tsm_ui PUBLIC tsm_service tsm_xml tsm_http comctl32 msimg32 uxtheme shell32 gdi32 user32)

foreach(unit tsm_service tsm_xml tsm_http tsm_ui)
  target_include_directories(${unit} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)
  target_compile_definitions(${unit} PUBLIC ${TSM_WIN_DEFINITIONS})
endforeach()

# The resource script includes the manifest and the pictures; CMake does not see those on its own.
file(GLOB TSM_RESOURCE_FILES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.h ${CMAKE_SOURCE_DIR}/res/*.manifest
  ${CMAKE_SOURCE_DIR}/res/pictures/*.bmp ${CMAKE_SOURCE_DIR}/res/pictures/*.ico)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/TorvaleServiceManager.rc PROPERTIES OBJECT_DEPENDS "${TSM_RESOURCE_FILES}")

add_executable(TorvaleServiceManager WIN32 src/main.cpp res/TorvaleServiceManager.rc)
target_link_libraries(TorvaleServiceManager PRIVATE tsm_ui)

# GoogleTest for the tests that run under Wine, built from Debian's sources with the same compiler.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# tsm_discover_wine_tests(TARGET [FILTER gtest-filter] [LOCK resource] [ASIDE]): the cases of a test executable
# (those the filter lets through, when there is one) discovered at test time and run under Wine. Tests that share
# Wine's service manager or read the panel's pixels, cursor or foreground hold a LOCK; an executable whose cases need
# different locks is discovered once per lock. ASIDE tests do none of that: they run in the session's second prefix
# and display (scripts/wine-session --aside), beside the locked ones.
function(tsm_discover_wine_tests target)
  cmake_parse_arguments(T "ASIDE" "FILTER;LOCK" "" ${ARGN})
  set(props TIMEOUT 300)
  if(T_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_LOCK})
  endif()
  if(T_ASIDE)
    list(APPEND props ENVIRONMENT TSM_WINE_SIDE=aside)
  endif()
  set(filter)
  if(T_FILTER)
    set(filter TEST_FILTER ${T_FILTER})
  endif()
  gtest_discover_tests(${target} ${filter} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# tsm_add_wine_test(NAME SOURCES ... LIBS ... [FILTER gtest-filter] [LOCK resource] [ASIDE]): one test executable run
# under Wine, its cases discovered as tsm_discover_wine_tests does.
function(tsm_add_wine_test name)
  cmake_parse_arguments(T "ASIDE" "FILTER;LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/win/support/TestManifest.rc)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE ${TSM_WIN_DEFINITIONS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/tests/win)
  set(aside)
  if(T_ASIDE)
    set(aside ASIDE)
  endif()
  tsm_discover_wine_tests(${name} FILTER "${T_FILTER}" LOCK "${T_LOCK}" ${aside})
endfunction()

# Each area of the tests and of the helper programs keeps its own list of targets.
file(GLOB TSM_TOOL_LISTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/targets.cmake)
file(GLOB TSM_TEST_LISTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cmake)
foreach(list IN LISTS TSM_TOOL_LISTS TSM_TEST_LISTS)
  include(${list})
endforeach()
