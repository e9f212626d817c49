# The real panel against hostile servers and hostile configuration files.

tsm_add_wine_test(tsm_panel_hostile_server_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelHostileServerTests.cpp
  LIBS tsm_panel_driver tsm_test_http_server
  ASIDE)

# The lookup straight through tsm_xml, and the panel over the same files.
tsm_add_wine_test(tsm_hostile_config_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/HostileConfigTests.cpp
  LIBS tsm_xml tsm_panel_driver tsm_test_http_server
  ASIDE)
