# The stand-in server run for real: as an application and through its run script, and as the service "Torvale".

add_library(tsm_standin_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/support/StandInHarness.cpp)
target_link_libraries(tsm_standin_harness PUBLIC tsm_test_support)
# The tests start the server and its copied samples, so build them first.
add_dependencies(tsm_standin_harness TorvaleServer)

tsm_add_wine_test(tsm_server_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StandInServerTests.cpp
  LIBS tsm_standin_harness tsm_http tsm_xml shell32
  ASIDE)

# These register the service "Torvale", which belongs to the tests holding the "panel" lock.
tsm_add_wine_test(tsm_server_service_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StandInServiceTests.cpp
  LIBS tsm_standin_harness tsm_test_services tsm_http shell32
  LOCK panel)
