# Brevant as LV2: the plug-in class compiled again for the LV2 binding, into build/Brevant.lv2/ with the shared
# object (DSP and editor, exporting lv2_descriptor and lv2ui_descriptor only), the descriptions generated from the
# parameter table by brevant-lv2ttl, and the artwork and font in Resources/.
set(_lv2_sources ${BREVANT_PLUGIN_SOURCES})
list(REMOVE_ITEM _lv2_sources ${CMAKE_CURRENT_SOURCE_DIR}/BrevantModule.cpp)
add_library(brevant_plugin_lv2 STATIC ${_lv2_sources})
target_link_libraries(brevant_plugin_lv2 PUBLIC iplug_lv2 igraphics_platform brevant_dsp)
target_include_directories(brevant_plugin_lv2 PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
brevant_warnings(brevant_plugin_lv2)

set(BREVANT_LV2_BUNDLE ${CMAKE_BINARY_DIR}/Brevant.lv2 CACHE INTERNAL "The built LV2 bundle")
# The module's own object: its plug-ins and instance creation, which the binding's entry points call. Whatever else
# instantiates the plug-in for LV2 (the description generator, tests) compiles it too.
set(BREVANT_LV2_ENTRY_SOURCE ${BREVANT_LV2_ENTRY_SOURCE} CACHE INTERNAL "The LV2 module's plug-in table")
add_library(BrevantLV2Module MODULE ${BREVANT_LV2_ENTRY_SOURCE})
target_link_libraries(BrevantLV2Module PRIVATE brevant_plugin_lv2)
set(_lv2_exports ${CMAKE_SOURCE_DIR}/cmake/lv2-exports.map)
set_target_properties(BrevantLV2Module PROPERTIES
  PREFIX ""
  OUTPUT_NAME Brevant
  LIBRARY_OUTPUT_DIRECTORY ${BREVANT_LV2_BUNDLE}
  CXX_VISIBILITY_PRESET hidden
  C_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${_lv2_exports})
target_link_options(BrevantLV2Module PRIVATE "LINKER:--version-script=${_lv2_exports}"
  "LINKER:--undefined=lv2_descriptor" "LINKER:--undefined=lv2ui_descriptor")
if(NOT (BREVANT_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
  target_link_options(BrevantLV2Module PRIVATE "LINKER:--no-undefined")
endif()
if(BREVANT_PORTABLE)
  target_link_options(BrevantLV2Module PRIVATE -static-libstdc++ -static-libgcc)
endif()

# The descriptions and the resources, written after the module. The tool is defined under tools/.
file(GLOB _lv2_artwork CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Resources/*.png)
set(_lv2_manifest ${BREVANT_LV2_BUNDLE}/manifest.ttl)
add_custom_command(OUTPUT ${_lv2_manifest} ${BREVANT_LV2_BUNDLE}/Brevant.ttl ${BREVANT_LV2_BUNDLE}/presets.ttl
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BREVANT_LV2_BUNDLE}/Resources
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_lv2_artwork} ${ROBOTO_TTF} ${BREVANT_LV2_BUNDLE}/Resources/
  COMMAND brevant-lv2ttl ${BREVANT_LV2_BUNDLE} $<TARGET_FILE_NAME:BrevantLV2Module>
  DEPENDS brevant-lv2ttl BrevantLV2Module ${_lv2_artwork} ${ROBOTO_TTF}
  COMMENT "Describing Brevant.lv2"
  VERBATIM)
add_custom_target(BrevantLV2 ALL DEPENDS ${_lv2_manifest})
