# The fuzz build (CALLDECK_FUZZ=ON): libFuzzer targets for every parser of
# bytes that come from outside the program, built with clang and with
# AddressSanitizer and UndefinedBehaviorSanitizer.
#
# Every object of the build is instrumented for coverage and the sanitizers,
# so that the static libraries a fuzzer links report what they reach. Only
# the fuzzers are meant to be built here (the custom target `fuzzers`):
# scripts/fuzz configures build/fuzz with clang-14 and builds nothing else.
# How to run them: docs/fuzzing.md.
if(NOT CALLDECK_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "CALLDECK_FUZZ needs clang (libFuzzer): configure with CC=clang-14 CXX=clang++-14")
endif()
if(CALLDECK_SANITIZE)
  message(FATAL_ERROR "CALLDECK_FUZZ brings its own sanitizers; leave CALLDECK_SANITIZE off")
endif()

add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -gline-tables-only)
add_link_options(-fsanitize=address,undefined)

add_custom_target(fuzzers)

# calldeck_fuzzer(NAME SOURCES ... [LIBRARIES ...] [DEFINITIONS ...])
# A libFuzzer program fuzz_NAME in the program folder, part of `fuzzers`.
# Its seeds are made by scripts/fuzz-seeds into build/fuzz/seeds/NAME.
function(calldeck_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;DEFINITIONS" ${ARGN})
  set(target fuzz_${name})
  add_executable(${target} ${ARG_SOURCES})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
  target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
  add_dependencies(fuzzers ${target})
  set_property(GLOBAL APPEND PROPERTY CALLDECK_FUZZERS ${name})
endfunction()

# calldeck_fuzz_loads(FUZZER MODULE ...): the fuzzer loads these libraries by
# name at run time, so they are built with it. They are instrumented like
# everything here and take the sanitizer runtime from the fuzzer that loads
# them, so the fuzz build links them without --no-undefined (the one
# difference from the delivered libraries).
function(calldeck_fuzz_loads name)
  foreach(module IN LISTS ARGN)
    get_target_property(options ${module} LINK_OPTIONS)
    list(REMOVE_ITEM options "LINKER:--no-undefined")
    set_target_properties(${module} PROPERTIES LINK_OPTIONS "${options}")
    add_dependencies(fuzz_${name} ${module})
  endforeach()
endfunction()
