# The end-to-end driver for the real panel, and the tests that run the panel under Wine through it.

add_library(tsm_panel_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/support/PanelDriver.cpp)
target_include_directories(tsm_panel_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/res)
target_compile_definitions(tsm_panel_driver PUBLIC ${TSM_WIN_DEFINITIONS})
target_link_libraries(tsm_panel_driver PUBLIC user32 gdi32)
# Tests drive the built panel, so it must be built (and up to date) before them.
add_dependencies(tsm_panel_driver TorvaleServiceManager)

tsm_add_wine_test(tsm_panel_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelWindowTests.cpp
  LIBS tsm_panel_driver
  LOCK panel)

# These register the service "Torvale", which only tests holding the "panel" lock touch (the service controller's
# own tests use other names), so the one lock keeps them apart from every other panel test.
tsm_add_wine_test(tsm_panel_service_display_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelServiceDisplayTests.cpp
  LIBS tsm_panel_driver tsm_test_services
  LOCK panel)
