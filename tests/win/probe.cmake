# The server probe and the run/stop button, proven through the real panel against real sockets, the stand-in server
# and real scripts.
add_library(tsm_probe_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/support/ProbeHarness.cpp)
target_link_libraries(tsm_probe_harness PUBLIC tsm_panel_driver tsm_test_http_server ws2_32)
target_include_directories(tsm_probe_harness PUBLIC ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/src)
# The run/stop tests start the stand-in server and copy it beside the panel.
add_dependencies(tsm_probe_harness TorvaleServer)

tsm_add_wine_test(tsm_panel_probe_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelProbeTests.cpp
  LIBS tsm_probe_harness tsm_panel_driver tsm_test_http_server
  LOCK panel)

tsm_add_wine_test(tsm_panel_run_stop_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelRunStopTests.cpp
  LIBS tsm_probe_harness tsm_panel_driver tsm_test_http_server tsm_http
  LOCK panel)
