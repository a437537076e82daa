# The plug-in class as a static library (tests construct it in-process), and the VST3 bundle built from it.
add_library(brevant_plugin STATIC ${BREVANT_PLUGIN_SOURCES})
target_link_libraries(brevant_plugin PUBLIC iplug_vst3 igraphics_platform brevant_dsp)
target_include_directories(brevant_plugin PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
brevant_warnings(brevant_plugin)
# The audio callback's element-wise loops between the recurrences are worth vectorising (strict floating point
# rules still hold: nothing is reassociated).
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/BrevantProcess.cpp PROPERTIES COMPILE_OPTIONS "$<$<NOT:$<CONFIG:Debug>>:-O3>")

# The module itself holds no code of its own: everything comes from brevant_plugin, and the bundle helper keeps the
# three entry points.
set(_module_src ${CMAKE_CURRENT_BINARY_DIR}/BrevantModuleStub.cpp)
if(NOT EXISTS ${_module_src})
  file(WRITE ${_module_src} "// The Brevant module's code lives in the brevant_plugin library.\n")
endif()
add_library(Brevant MODULE ${_module_src})
target_link_libraries(Brevant PRIVATE brevant_plugin)

brevant_vst3_bundle(Brevant BUNDLE_NAME Brevant OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  RESOURCES ${ROBOTO_TTF})
