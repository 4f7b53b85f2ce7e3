# velmar_test_suite(<name> SOURCES ... [LIBS ...] [DEFINITIONS ...] [LABEL label])
# One GoogleTest binary, its cases registered with CTest one by one.
include(GoogleTest)
find_package(GTest REQUIRED)

# The subsystem a test folder checks, as a CTest label: `ctest -L device` runs what a change
# to src/device must pass first (the mutation runner relies on it).
function(velmar_test_label folder out)
  set(label ${folder})
  if(folder STREQUAL "toolsim" OR folder STREQUAL "detection")
    set(label device)
  elseif(folder STREQUAL "tools")
    set(label server)
  elseif(folder STREQUAL "window")
    set(label app)
  elseif(folder STREQUAL "cli" OR folder STREQUAL "packaging")
    set(label e2e)
  endif()
  set(${out} ${label} PARENT_SCOPE)
endfunction()

function(velmar_test_suite name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  if(NOT ARG_LABEL)
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    velmar_test_label(${folder} ARG_LABEL)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${VELMAR_WINDOWS_RESOURCES})
  target_link_libraries(${name} PRIVATE velmar_core velmar_test_support GTest::gtest_main GTest::gmock ${ARG_LIBS})
  if(ARG_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under an emulator each start costs about a second: one test per binary.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT LC_ALL=C.UTF-8
      FIXTURES_REQUIRED wine_prefix LABELS ${ARG_LABEL})
  else()
    # The programs pick their language from the locale; the tests compare English texts.
    # No test writes into the user's own state folder (the update history).
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120 ENVIRONMENT LC_ALL=C.UTF-8
      ENVIRONMENT_MODIFICATION XDG_STATE_HOME=set:${CMAKE_BINARY_DIR}/test-state LABELS ${ARG_LABEL})
  endif()
endfunction()
