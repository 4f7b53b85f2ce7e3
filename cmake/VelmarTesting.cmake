# velmar_test_suite(<name> SOURCES ... [LIBS ...] [DEFINITIONS ...])
# One GoogleTest binary, its cases registered with CTest one by one.
include(GoogleTest)
find_package(GTest REQUIRED)

function(velmar_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE velmar_core velmar_test_support GTest::gtest_main GTest::gmock ${ARG_LIBS})
  if(ARG_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  endif()
  # The programs pick their language from the locale; the tests compare English texts.
  # No test writes into the user's own state folder (the update history).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 ENVIRONMENT LC_ALL=C.UTF-8
    ENVIRONMENT_MODIFICATION XDG_STATE_HOME=set:${CMAKE_BINARY_DIR}/test-state)
endfunction()
