# Shared settings for the project's own targets.
function(spoolsweep_target target)
  target_compile_options(${target} PRIVATE ${SPOOLSWEEP_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
