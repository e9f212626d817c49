# The service commands (register, start, stop) worked through the real panel under Wine's service manager and shell.
tsm_add_wine_test(tsm_panel_command_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelCommandTests.cpp
  LIBS tsm_panel_driver tsm_test_services tsm_test_http_server
  LOCK panel)
