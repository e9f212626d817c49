# The panel as a current Windows shows it: accessible names read through oleacc, and, in sessions of their own,
# each display scale and the visual style.

# What the system and assistive technology do to the panel from outside.
add_library(tsm_panel_outside STATIC ${CMAKE_CURRENT_LIST_DIR}/support/PanelFromOutside.cpp)
target_link_libraries(tsm_panel_outside PUBLIC tsm_panel_driver oleacc oleaut32 ole32 uxtheme)

tsm_add_wine_test(tsm_panel_access_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PanelAccessTests.cpp
  LIBS tsm_panel_outside
  LOCK panel)

# Not discovered by ctest: look-and-scale.sh runs its suites, one Wine session per scale in a prefix of their own
# (LogPixels and the style are the session's), so the test needs no lock and no screen of the shared session.
add_executable(tsm_panel_look_checks ${CMAKE_CURRENT_LIST_DIR}/PanelLookTests.cpp
  ${CMAKE_SOURCE_DIR}/tests/win/support/TestManifest.rc)
target_link_libraries(tsm_panel_look_checks PRIVATE tsm_panel_outside tsm_test_services GTest::gtest_main)
target_compile_definitions(tsm_panel_look_checks PRIVATE ${TSM_WIN_DEFINITIONS})
target_include_directories(tsm_panel_look_checks PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)
add_dependencies(tsm_panel_look_checks tsm_test_service)
add_test(NAME PanelLookAndScale
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/look-and-scale.sh $<TARGET_FILE_DIR:tsm_panel_look_checks>
          ${CMAKE_BINARY_DIR}/wineprefix-look)
set_tests_properties(PanelLookAndScale PROPERTIES TIMEOUT 300)
