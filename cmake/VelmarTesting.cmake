# velmar_test_suite(<name> SOURCES ... [LIBS ...] [DEFINITIONS ...])
# One GoogleTest binary, its cases registered with CTest one by one.
include(GoogleTest)
find_package(GTest REQUIRED)

function(velmar_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${VELMAR_WINDOWS_RESOURCES})
  target_link_libraries(${name} PRIVATE velmar_core velmar_test_support GTest::gtest_main GTest::gmock ${ARG_LIBS})
  if(ARG_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under an emulator each start costs about a second: one test per binary.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT LC_ALL=C.UTF-8
      FIXTURES_REQUIRED wine_prefix)
  else()
    # The programs pick their language from the locale; the tests compare English texts.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 ENVIRONMENT LC_ALL=C.UTF-8)
  endif()
endfunction()
