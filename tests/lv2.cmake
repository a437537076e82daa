# The LV2 bundle as lilv loads it (a host library we did not write): its descriptions, instances and state, and
# lv2apply's renders against the VST3 bundle's.
if(TARGET BrevantLV2 AND TARGET brevant_plugin AND TARGET brevant_host)
  find_program(LV2APPLY lv2apply REQUIRED)
  brevant_test_suite(test_lv2 ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/LV2 brevant_plugin brevant_host PkgConfig::LILV
    PkgConfig::LV2)
  get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_lv2 PRIVATE BREVANT_LV2_BUNDLE="${BREVANT_LV2_BUNDLE}"
    BREVANT_BUNDLE_DIR="${_bundle}" LV2APPLY="${LV2APPLY}")
  add_dependencies(test_lv2 BrevantLV2 Brevant)
  # lv2apply is not built with the sanitizer: loading an instrumented module needs its runtime preloaded. Leaks are
  # looked for in-process (the other tests); lilv's own are not ours.
  if(BREVANT_SANITIZE STREQUAL "address" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so OUTPUT_VARIABLE _asan_runtime
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    target_compile_definitions(test_lv2 PRIVATE LV2APPLY_ENV="LD_PRELOAD=${_asan_runtime} ASAN_OPTIONS=detect_leaks=0")
  endif()
endif()
