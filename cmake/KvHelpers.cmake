# kv_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <one label>] [ENV <VAR=value...>])
# One GoogleTest executable per module; each test case becomes its own CTest test.
function(kv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # The environment goes through `env` as the test launcher: list-valued ENVIRONMENT
  # properties do not survive gtest_discover_tests.
  if(T_ENV)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "/usr/bin/env;${T_ENV}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()
