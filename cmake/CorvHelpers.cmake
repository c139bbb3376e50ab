# corv_add_test(NAME SOURCES ... LIBS ... LABELS ... [TIMEOUT s])
# One gtest executable per subsystem; it lives outside the program folder and is told
# where the program folder and the source tree are.
function(corv_add_test name)
  if(NOT CORV_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main Threads::Threads ${T_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE
    CORV_BIN_DIR="${CORV_BIN_DIR}"
    CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    BUILD_RPATH "${CORV_BIN_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# corv_add_bench(NAME SOURCES ... LIBS ...): benchmarks are built with the program but
# never run by the tests.
function(corv_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE Threads::Threads ${B_LIBS})
  target_compile_definitions(${name} PRIVATE
    CORV_BIN_DIR="${CORV_BIN_DIR}"
    CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${CORV_BIN_DIR}")
endfunction()
