# The signal chain: in-process against the literal reference and its documented behaviour, end to end through the
# built bundle, and the audio thread's real-time rules (a program of its own: it replaces the allocator and
# interposes the pthread lock functions).
if(TARGET brevant_plugin AND TARGET brevant_host)
  set(_chain ${CMAKE_CURRENT_SOURCE_DIR}/Examples/Brevant)

  brevant_test_suite(test_chain ${_chain}/chain brevant_plugin brevant_host)
  target_include_directories(test_chain PRIVATE ${_chain} ${_chain}/chain ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/VST3
    ${CMAKE_CURRENT_SOURCE_DIR}/Sources/Brevant)
  target_compile_options(test_chain PRIVATE -ffp-contract=off -fno-fast-math)
  get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_chain PRIVATE BREVANT_BUNDLE_DIR="${_bundle}")
  add_dependencies(test_chain Brevant)

  # ThreadSanitizer owns the allocator and the pthread functions itself, so the interposing program is left out there.
  if(NOT BREVANT_SANITIZE STREQUAL "thread")
    brevant_test_suite(test_chain_rt ${_chain}/realtime brevant_plugin brevant_host ${CMAKE_DL_LIBS})
    target_include_directories(test_chain_rt PRIVATE ${_chain}/chain ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/VST3
      ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/CLAP)
    set_target_properties(test_chain_rt PROPERTIES ENABLE_EXPORTS ON)
    # The CLAP plug-in's process, loaded as a host loads it: its allocations and locks reach the interposers too.
    if(TARGET BrevantCLAP)
      target_link_libraries(test_chain_rt PRIVATE clap_headers)
      target_compile_definitions(test_chain_rt PRIVATE BREVANT_CLAP_FILE="${BREVANT_CLAP_FILE}")
      add_dependencies(test_chain_rt BrevantCLAP)
    endif()
    # The LV2 plug-in's run, loaded through lilv.
    if(TARGET BrevantLV2)
      target_link_libraries(test_chain_rt PRIVATE PkgConfig::LILV PkgConfig::LV2)
      target_include_directories(test_chain_rt PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/LV2)
      target_compile_definitions(test_chain_rt PRIVATE BREVANT_LV2_BUNDLE="${BREVANT_LV2_BUNDLE}")
      add_dependencies(test_chain_rt BrevantLV2)
    endif()
  endif()
endif()

# The demo renders through the bundle and reports (a short mix keeps it quick).
if(TARGET brevant-demo AND TARGET Brevant)
  get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  add_test(NAME brevant_demo_renders
    COMMAND brevant-demo --bundle ${_bundle} --out ${CMAKE_CURRENT_BINARY_DIR}/demo --seconds 2)
  set_tests_properties(brevant_demo_renders PROPERTIES
    PASS_REGULAR_EXPRESSION "low +-[0-9.]+ dB / +-[0-9.]+ dB.*realtime factor: [0-9]+x")
endif()
