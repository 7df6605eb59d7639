# The layers, lowest first. A layer may use only the layers before it, except
# that oracle and ib never use each other: only the service knows both.
set(KAVO_LAYERS rtl platform recordset oracle ib service)

# kavo_add_layer(<layer> [USES <lower layers...>] [LIBS <outside libraries...>])
# The static library kavo_<layer> from every .cpp of the layer's folder (all
# but main.cpp) and of its backend folder for this system (${KAVO_OS}). It exports an include root that holds its own folder only, so
# "layer/header.h" resolves for this layer and the layers it USES, and an
# include of any other layer fails to compile.
function(kavo_add_layer layer)
  cmake_parse_arguments(L "" "" "USES;LIBS" ${ARGN})
  list(FIND KAVO_LAYERS ${layer} own)
  if(own EQUAL -1)
    message(FATAL_ERROR "${layer} is not a layer (KAVO_LAYERS: ${KAVO_LAYERS})")
  endif()
  foreach(used IN LISTS L_USES)
    list(FIND KAVO_LAYERS ${used} pos)
    if(pos EQUAL -1 OR NOT pos LESS own
       OR (layer STREQUAL "oracle" AND used STREQUAL "ib")
       OR (layer STREQUAL "ib" AND used STREQUAL "oracle"))
      message(FATAL_ERROR "layer ${layer} may not use ${used}: layers use only those below them")
    endif()
  endforeach()

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${KAVO_OS}/*.cpp)
  list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  add_library(kavo_${layer} STATIC ${sources})

  set(root ${CMAKE_BINARY_DIR}/include/${layer})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${layer} SYMBOLIC)
  target_include_directories(kavo_${layer} PUBLIC ${root})

  foreach(used IN LISTS L_USES)
    target_link_libraries(kavo_${layer} PUBLIC kavo_${used})
  endforeach()
  if(L_LIBS)
    target_link_libraries(kavo_${layer} ${L_LIBS})
  endif()
endfunction()

# kavo_add_subdirectories(<folders...>): each must exist; a missing folder is a
# broken checkout, not an optional part.
macro(kavo_add_subdirectories)
  foreach(dir ${ARGN})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt is missing")
    endif()
    add_subdirectory(${dir})
  endforeach()
endmacro()

# kavo_add_test(<name> LABEL <area> SOURCES <files...> [LIBS <targets...>] [SERIAL]
#               [ENV <VAR=value...>] [LOCK <resource>])
# One GoogleTest executable whose cases are registered one by one with CTest
# under the given label, so `ctest -L <area>` runs one area alone. Test
# helpers come from the testkit include root (tests/support) only. SERIAL
# cases run alone (they stop shared servers). ENV adds environment entries
# (the test then runs as one case). Tests with the same LOCK never run at the
# same time (a resource they change for every process, such as the registry).
function(kavo_add_test name)
  cmake_parse_arguments(T "SERIAL" "LABEL;LOCK" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kavo_testkit GTest::gtest GTest::gmock
                        GTest::gtest_main)
  # Every test process reports on a trace channel of this build tree, never on
  # the machine's own; tests that watch a channel name a private one.
  string(MD5 tree "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${tree}" 0 12 tree)
  set(env "KAVO_SQLMONITOR_SUFFIX=.kavo-test-${tree}" ${T_ENV})
  set(label ${T_LABEL})
  if(WIN32)
    # Windows tests run under Wine; `ctest -L windows` runs them all.
    set(label windows)
  endif()
  if(T_ENV)
    # Discovered cases can carry one environment entry only (the discovery
    # passes its properties through argument lists, which lose escaped
    # semicolons): a test with more runs as one case, the whole program.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${label} ENVIRONMENT "${env}")
    if(T_SERIAL)
      set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
    if(T_LOCK)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${T_LOCK})
    endif()
    return()
  endif()
  set(props LABELS ${label} ENVIRONMENT "${env}")
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  if(T_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
