# Shared settings for the project's own targets.
function(spoolsweep_target target)
  # Warnings for C++ only: the resource compiler takes no such options.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${SPOOLSWEEP_WARNINGS}>")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
