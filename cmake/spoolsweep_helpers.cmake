# Shared settings for the project's own targets.
set(SPOOLSWEEP_EXTRA_WARNING_FLAGS "")
# g++ 12 reports false -Wrestrict overlaps inside std::string at -O2 and above (GCC bug 105329); the warning
# is switched off for that compiler only, every other warning stays an error.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND SPOOLSWEEP_EXTRA_WARNING_FLAGS -Wno-restrict)
endif()

function(spoolsweep_target target)
  # Warnings for C++ only: the resource compiler takes no such options.
  target_compile_options(${target} PRIVATE
    "$<$<COMPILE_LANGUAGE:CXX>:${SPOOLSWEEP_WARNINGS};${SPOOLSWEEP_EXTRA_WARNING_FLAGS}>")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
