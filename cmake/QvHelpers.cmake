# qv_library(NAME SOURCES... DEPS ...): one static library per folder.
function(qv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# qv_test_suite(NAME SOURCES... DEPS ...): one GoogleTest executable,
# registered with CTest as one test (cheap to start under Wine).
function(qv_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} qv_gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QV_TEST_DATA=${CMAKE_CURRENT_BINARY_DIR}")
endfunction()
