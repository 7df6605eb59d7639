# kavo_add_test(<name> LABEL <area> SOURCES <files...> [LIBS <targets...>])
# One GoogleTest executable whose cases are registered one by one with CTest
# under the given label, so `ctest -L <area>` runs one area alone.
function(kavo_add_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL})
endfunction()
