# Helpers shared by every folder's CMakeLists.

# calldeck_shared_library(NAME SOURCES ... EXPORTS sym ... [LIBRARIES ...])
# A library that is loaded by file name at run time, never linked against.
# It lands in the program folder as NAME.so (platform/dynlib maps the
# Windows-style "NAME.dll" to it) and exports exactly the listed C symbols:
# a linker version script hides everything else, the standard library's
# inline instantiations included.
function(calldeck_shared_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;EXPORTS;LIBRARIES" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so")
  list(JOIN ARG_EXPORTS ";\n    " symbols)
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports)
  file(CONFIGURE OUTPUT ${map} CONTENT "{\n  global:\n    ${symbols};\n  local: *;\n};\n")
  target_link_options(${name} PRIVATE "LINKER:--version-script=${map}" "LINKER:--no-undefined")
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${map})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  # The build's own check that nothing else leaks out.
  add_test(NAME ${name}.exports_only
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/check-exports $<TARGET_FILE:${name}> ${ARG_EXPORTS})
endfunction()

# calldeck_codec_plugin(NAME SOURCES ... [DEFINITIONS ...] [LIBRARIES ...])
# A codec plug-in: the Tessel framework built in, CreateCodecFactory out.
function(calldeck_codec_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEFINITIONS;LIBRARIES" ${ARGN})
  calldeck_shared_library(${name} SOURCES ${ARG_SOURCES} EXPORTS CreateCodecFactory
                          LIBRARIES tessel_framework ${ARG_LIBRARIES})
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  set_property(GLOBAL APPEND PROPERTY CALLDECK_PLUGINS ${name})
endfunction()

# calldeck_test_labels(PROGRAM LABEL ...): a target tests_<LABEL> for each
# label that builds every test program carrying it (and, through their
# dependencies, what they load), so a suite of one label builds only that.
function(calldeck_test_labels program)
  foreach(label IN LISTS ARGN)
    if(NOT TARGET tests_${label})
      add_custom_target(tests_${label})
    endif()
    add_dependencies(tests_${label} ${program})
  endforeach()
endfunction()

# calldeck_test(NAME SOURCES ... [LIBRARIES ...] [DEPENDS targets ...] [LABELS ...])
# A GoogleTest program in the program folder; each test case becomes one
# CTest test (its own process), so suites run in parallel and no test sees
# another's process-wide state. DEPENDS names libraries the tests load at
# run time, so that they are built first. Every test is labelled "unit";
# LABELS adds more (`threads`: run by the ThreadSanitizer suite).
function(calldeck_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${ARG_LIBRARIES})
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS unit ENVIRONMENT "CALLDECK_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(ARG_LABELS)
    # gtest_discover_tests flattens its PROPERTIES, so a list of labels cannot
    # pass through it; this file runs after the discovery's own and labels
    # the tests it listed in ${name}_TESTS.
    set(labels unit ${ARG_LABELS})
    set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(GENERATE OUTPUT ${label_file} CONTENT
"if(${name}_TESTS)
  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\")
endif()
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
    calldeck_test_labels(${name} ${ARG_LABELS})
  endif()
endfunction()

# calldeck_test_library(NAME SOURCES ... EXPORTS ... [LIBRARIES ...])
# A library that only tests load. It lands in <program folder>/test-libs, so
# it can never shadow a delivered library found by name.
function(calldeck_test_library name)
  calldeck_shared_library(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CALLDECK_PROGRAM_FOLDER}/test-libs)
endfunction()

# calldeck_test_plugin(NAME SOURCES ... [LIBRARIES ...]): a codec plug-in
# that only tests load.
function(calldeck_test_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  calldeck_test_library(${name} SOURCES ${ARG_SOURCES} EXPORTS CreateCodecFactory
                        LIBRARIES tessel_framework ${ARG_LIBRARIES})
endfunction()

# calldeck_qtest(NAME SOURCES ... [LIBRARIES ...] [LABELS ...])
# A QtTest program in the program folder, run on Qt's off-screen platform
# (QT_QPA_PLATFORM=offscreen), so no display is needed. Like calldeck_test,
# each test function becomes one CTest test in its own process: the list is
# asked from the program (-functions) when CTest runs, as
# gtest_discover_tests does in its PRE_TEST mode. LABELS as for calldeck_test.
function(calldeck_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  set(labels unit ${ARG_LABELS})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBRARIES})
  calldeck_test_labels(${name} ${ARG_LABELS})
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_tests.cmake)
  file(GENERATE OUTPUT ${list_file} CONTENT
"set(program \"$<TARGET_FILE:${name}>\")
if(NOT EXISTS \"\${program}\")
  add_test(${name}.NOT_BUILT \"\${program}\")
  return()
endif()
execute_process(COMMAND \"${CMAKE_COMMAND}\" -E env QT_QPA_PLATFORM=offscreen \"\${program}\" -functions
                OUTPUT_VARIABLE functions RESULT_VARIABLE listed)
if(NOT listed EQUAL 0)
  add_test(${name}.CANNOT_LIST_FUNCTIONS \"\${program}\" -functions)
  return()
endif()
string(REGEX MATCHALL \"[A-Za-z_][A-Za-z0-9_]*\\\\(\\\\)\" functions \"\${functions}\")
foreach(f IN LISTS functions)
  string(REPLACE \"()\" \"\" f \"\${f}\")
  add_test(${name}.\${f} \"\${program}\" \${f})
  set_tests_properties(${name}.\${f} PROPERTIES LABELS \"${labels}\"
    ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;CALLDECK_SOURCE_DIR=${PROJECT_SOURCE_DIR}\")
endforeach()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${list_file})
endfunction()
