# The CLAP plug-in through the C ABI, as a host loads it: the binding's rules, and renders against the VST3 bundle.
if(TARGET BrevantCLAP AND TARGET brevant_plugin AND TARGET brevant_host)
  brevant_test_suite(test_clap ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/CLAP brevant_plugin brevant_host clap_headers
    ${CMAKE_DL_LIBS})
  target_include_directories(test_clap PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/CLAP)
  get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_clap PRIVATE BREVANT_CLAP_FILE="${BREVANT_CLAP_FILE}"
    BREVANT_BUNDLE_DIR="${_bundle}")
  add_dependencies(test_clap BrevantCLAP Brevant)
endif()
