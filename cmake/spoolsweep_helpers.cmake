# Shared settings for the project's own targets.
function(spoolsweep_target target)
  # Warnings for C++ only: the resource compiler takes no such options.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${SPOOLSWEEP_WARNINGS}>")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# The host's GoogleTest programs build without the optimizer that the rest of the sanitized host build has:
# GoogleTest's macros expand into large functions on which the optimizer spent half of such a program's
# compile (unit_tests: 49 s at -O1, 23 s at -O0), while the code under test, in the libraries, keeps -O1.
function(spoolsweep_unoptimized_tests target)
  if(NOT WIN32 AND CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(${target} PRIVATE -O0)
  endif()
endfunction()

# A GoogleTest program as one test that runs every case in one process, in the order one process per case
# would. Starting the process was most of what a case cost: the host's 139 cases took 35 s of processor time
# one process each and 13 s in two processes; the 58 Win32 contract cases took 13.5 s one Wine process each
# and 0.75 s in one. A failure's output names its case; tools/test-all counts such a program's cases from it.
#   spoolsweep_test_program(TARGET PROPERTIES LABELS ... TIMEOUT ...)
function(spoolsweep_test_program target)
  cmake_parse_arguments(PARSE_ARGV 1 PROGRAM "" "" "PROPERTIES")
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES ${PROGRAM_PROPERTIES})
endfunction()
