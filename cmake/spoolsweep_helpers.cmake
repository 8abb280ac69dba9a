# Shared settings for the project's own targets.
function(spoolsweep_target target)
  # Warnings for C++ only: the resource compiler takes no such options.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${SPOOLSWEEP_WARNINGS}>")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# GoogleTest and the standard headers most tests include, parsed once per test program instead of once per
# source file (a precompiled header; the tests themselves include what they use as before).
function(spoolsweep_test_headers target)
  target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <algorithm> <functional> <map> <memory>
    <optional> <string> <string_view> <vector>)
endfunction()
