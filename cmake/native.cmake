# Native Linux build: the core and its unit tests, under AddressSanitizer and UndefinedBehaviorSanitizer.
find_package(GTest REQUIRED)
include(GoogleTest)

set(TSM_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(tsm_core PRIVATE ${TSM_SANITIZE})

file(GLOB TSM_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
add_executable(tsm_native_tests ${TSM_NATIVE_TESTS})
target_compile_options(tsm_native_tests PRIVATE ${TSM_SANITIZE})
target_link_options(tsm_native_tests PRIVATE ${TSM_SANITIZE})
target_link_libraries(tsm_native_tests PRIVATE tsm_core GTest::gtest_main)
gtest_discover_tests(tsm_native_tests)
