# The plug-in class in-process, and its built bundle loaded as a host loads it.
if(TARGET brevant_plugin)
  brevant_test_suite(test_plugin ${CMAKE_CURRENT_SOURCE_DIR}/Examples/Brevant brevant_plugin)
  target_include_directories(test_plugin PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/VST3)
  target_link_libraries(test_plugin PRIVATE brevant_host ${CMAKE_DL_LIBS})
  get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_plugin PRIVATE BREVANT_BUNDLE_DIR="${_bundle}")
  add_dependencies(test_plugin Brevant)
endif()
