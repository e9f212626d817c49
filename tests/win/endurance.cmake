# The panel over many ticks and many closes.

tsm_add_wine_test(tsm_panel_endurance_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelEnduranceTests.cpp
  LIBS tsm_panel_driver tsm_test_http_server
  ASIDE)
