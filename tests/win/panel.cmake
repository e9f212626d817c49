# The support every Windows test shares, the end-to-end driver for the real panel with its health readings, and the
# tests that run the panel under Wine through it.

add_library(tsm_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/support/TestSupport.cpp)
target_include_directories(tsm_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(tsm_test_support PUBLIC ${TSM_WIN_DEFINITIONS})
target_link_libraries(tsm_test_support PUBLIC ws2_32 shell32)

add_library(tsm_panel_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/support/PanelDriver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/ProcessGauge.cpp)
target_include_directories(tsm_panel_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(tsm_panel_driver PUBLIC tsm_test_support user32 gdi32 comctl32 psapi)
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

# The window's own kinds of control, each on its own.
tsm_add_wine_test(tsm_ui_control_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/GlyphTests.cpp LIBS tsm_ui)
