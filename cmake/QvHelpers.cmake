# qv_library(NAME FOLDER DIR SOURCES... DEPS...): one static library for
# the folder DIR (a path below the source root, such as "image" or
# "tools/qvpatch"). Its headers are included as "DIR/name.h"; the include
# path it publishes holds DIR alone (a link in the build folder), so a
# library, and whatever links it, sees the headers of what it links and of
# nothing else.
function(qv_library name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  qv_publish_folder(${name} ${ARG_FOLDER})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# qv_publish_folder(TARGET DIR): TARGET and what links it include DIR's
# headers as "DIR/name.h".
function(qv_publish_folder target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
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
