# The harness's own checks: the scriptable server, which needs no lock, and the message-box inspection, whose boxes
# open on the screen the panel tests read and so hold the panel lock.
tsm_add_wine_test(tsm_harness_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/HarnessTests.cpp
  LIBS tsm_panel_driver tsm_test_http_server tsm_http
  FILTER "-OwnBoxes/*")
tsm_discover_wine_tests(tsm_harness_tests FILTER "OwnBoxes/*" LOCK panel)
