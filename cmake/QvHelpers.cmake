# qv_library(NAME SOURCES... DEPS ...): one static library per folder.
function(qv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# qv_tool(NAME LIBRARY): a command-line tool, main.cpp over LIBRARY that
# holds its logic; wide arguments on Windows; installed to bin/.
function(qv_tool name library)
  add_executable(${name} main.cpp)
  target_link_libraries(${name} PRIVATE ${library})
  if(MINGW)
    target_link_options(${name} PRIVATE -municode)
  endif()
  install(TARGETS ${name} RUNTIME DESTINATION bin)
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

# qv_fuzz_target(NAME SOURCES... DEPS ...): a libFuzzer executable.
function(qv_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

# Adds every immediate sub-folder of the current folder that has a
# CMakeLists.txt, so areas can add their own targets independently.
macro(qv_add_subfolders)
  file(GLOB _qv_children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_qv_child ${_qv_children})
    if(IS_DIRECTORY ${_qv_child} AND EXISTS ${_qv_child}/CMakeLists.txt)
      add_subdirectory(${_qv_child})
    endif()
  endforeach()
endmacro()
