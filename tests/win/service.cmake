# The service controller's tests, the service they register, and the helpers the window tests share.
add_executable(tsm_test_service ${CMAKE_SOURCE_DIR}/tests/win/programs/TestService.cpp)
target_compile_definitions(tsm_test_service PRIVATE ${TSM_WIN_DEFINITIONS})
target_include_directories(tsm_test_service PRIVATE ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(tsm_test_service PRIVATE advapi32)

add_library(tsm_test_services STATIC ${CMAKE_SOURCE_DIR}/tests/win/support/TestServices.cpp)
target_include_directories(tsm_test_services PUBLIC ${CMAKE_SOURCE_DIR}/tests/win)
target_link_libraries(tsm_test_services PUBLIC tsm_service tsm_test_support GTest::gtest)
# Whoever links the helpers starts this binary, so build it with them.
add_dependencies(tsm_test_services tsm_test_service)

tsm_add_wine_test(tsm_service_tests SOURCES ${CMAKE_SOURCE_DIR}/tests/win/ServiceInfoTests.cpp
                  LIBS tsm_service tsm_test_services LOCK scm)
