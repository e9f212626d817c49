# One whole life of the panel with the stand-in server and its sample scripts, which the test copies beside a copy
# of the panel; it also saves the screenshots for docs/ when asked (scripts/screenshots.sh).
tsm_add_wine_test(tsm_panel_life_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelLifeTests.cpp
  LIBS tsm_panel_driver tsm_test_services tsm_http
  LOCK panel)
add_dependencies(tsm_panel_life_tests TorvaleServer)
