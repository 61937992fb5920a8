# kestrel_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [CONCURRENCY] [ENV VAR=value ...]
#                  [LAUNCHER program args...])
# One GoogleTest binary per call, one CTest entry per binary. CONCURRENCY tests are
# also built and run under ThreadSanitizer (label "concurrency"). A LAUNCHER starts the
# test binary (a virtual display server, for instance).
function(kestrel_add_test name)
  cmake_parse_arguments(T "CONCURRENCY" "" "SOURCES;LIBS;ENV;LAUNCHER" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${name}>)
  set(env "KESTREL_TEST_BIN=${CMAKE_BINARY_DIR}/bin" "KESTREL_TEST_PLUGINS=${KESTREL_PLUGIN_DIR}" ${T_ENV})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
  if(T_CONCURRENCY)
    set_tests_properties(${name} PROPERTIES LABELS concurrency)
    add_dependencies(concurrency_tests ${name})
  endif()
endfunction()
