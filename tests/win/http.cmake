# The HTTP exchange against real Winsock, and the scriptable local server other areas' tests use too.
add_library(tsm_test_http_server STATIC ${CMAKE_SOURCE_DIR}/tests/win/support/LocalHttpServer.cpp)
target_include_directories(tsm_test_http_server PUBLIC ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(tsm_test_http_server PUBLIC ${TSM_WIN_DEFINITIONS})
target_link_libraries(tsm_test_http_server PUBLIC ws2_32)

tsm_add_wine_test(tsm_http_tests
  SOURCES ${CMAKE_SOURCE_DIR}/tests/win/HttpGetTests.cpp
  LIBS tsm_http tsm_test_http_server tsm_test_support
  ASIDE)
