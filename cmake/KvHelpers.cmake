# Under Wine every test program runs in the build folder's own prefix, made once by
# tools/win32.sh, so builds never touch (or wait to create) the user's ~/.wine.
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(KV_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${KV_WINE_PREFIX} WINEARCH=win32 WINEDEBUG=-all
      ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()

# GoogleTest: Debian's installed build natively; cross-built from its sources otherwise.
macro(kv_find_gtest)
  if(CMAKE_CROSSCOMPILING)
    set(kv_gtest_source /usr/src/googletest)
    if(NOT EXISTS ${kv_gtest_source}/CMakeLists.txt)
      message(FATAL_ERROR "Cross-built tests need GoogleTest's sources in ${kv_gtest_source} (package googletest)")
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${kv_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
  endif()
endmacro()

# kv_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <one label>] [ENV <VAR=value...>])
# One GoogleTest executable per module. Natively each test case becomes its own CTest test;
# cross-built, the whole executable is one CTest test, since starting the emulator once per
# case would cost more than the cases themselves.
function(kv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # The environment goes through `env` as the test launcher (list-valued ENVIRONMENT
  # properties do not survive gtest_discover_tests), in front of the emulator if there is one.
  if(T_ENV)
    set(launcher /usr/bin/env ${T_ENV} ${CMAKE_CROSSCOMPILING_EMULATOR})
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${launcher}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 900)
  else()
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
  endif()
endfunction()
