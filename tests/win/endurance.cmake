# The panel over many ticks and many closes, and the process gauge those tests and the benchmark share.

add_library(tsm_process_gauge STATIC ${CMAKE_CURRENT_LIST_DIR}/support/ProcessGauge.cpp)
target_link_libraries(tsm_process_gauge PUBLIC tsm_panel_driver ws2_32 psapi)
target_include_directories(tsm_process_gauge PUBLIC ${CMAKE_SOURCE_DIR}/src)

tsm_add_wine_test(tsm_panel_endurance_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelEnduranceTests.cpp
  LIBS tsm_process_gauge tsm_test_http_server
  ASIDE)
