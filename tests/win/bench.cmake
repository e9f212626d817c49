# The benchmark: a minimal window program to measure the panel against, and the driver that measures both.
# Built and run on demand by scripts/bench.sh, never by ctest.

add_executable(tsm_minimal_window WIN32 ${CMAKE_SOURCE_DIR}/bench/MinimalWindow.cpp)
target_compile_definitions(tsm_minimal_window PRIVATE ${TSM_WIN_DEFINITIONS})
# The same window loading the panel's DLLs, with its manifest: splits the panel's start-up cost in two.
add_executable(tsm_minimal_window_imports WIN32 ${CMAKE_SOURCE_DIR}/bench/MinimalWindow.cpp
  ${CMAKE_SOURCE_DIR}/tests/win/support/TestManifest.rc)
target_compile_definitions(tsm_minimal_window_imports PRIVATE ${TSM_WIN_DEFINITIONS} TSM_WITH_PANEL_IMPORTS)
target_link_libraries(tsm_minimal_window_imports PRIVATE comctl32 msimg32 ws2_32 ole32 oleaut32 shell32 advapi32)

add_executable(tsm_bench ${CMAKE_SOURCE_DIR}/bench/BenchDriver.cpp)
target_compile_definitions(tsm_bench PRIVATE ${TSM_WIN_DEFINITIONS})
target_include_directories(tsm_bench PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/tests/win)
target_link_libraries(tsm_bench PRIVATE tsm_panel_driver tsm_test_http_server comctl32)
add_dependencies(tsm_bench tsm_minimal_window tsm_minimal_window_imports TorvaleServiceManager)

# Where the start-up time and memory go: the panel's window built from its own units, timed step by step.
add_executable(tsm_bench_phases ${CMAKE_SOURCE_DIR}/bench/StartupPhases.cpp ${CMAKE_SOURCE_DIR}/res/TorvaleServiceManager.rc)
target_link_libraries(tsm_bench_phases PRIVATE tsm_ui tsm_panel_driver tsm_test_http_server)
