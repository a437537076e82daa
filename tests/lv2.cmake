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
endif()
