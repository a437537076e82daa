# Brevant as a CLAP plug-in: the plug-in class compiled again for the CLAP binding, into the single file
# build/Brevant.clap (exporting clap_entry only), with its artwork and font compiled in.
set(_clap_sources ${BREVANT_PLUGIN_SOURCES})
list(REMOVE_ITEM _clap_sources ${CMAKE_CURRENT_SOURCE_DIR}/BrevantModule.cpp)
# The artwork and the font, compiled in: a .clap is one file, with no Resources folder beside it.
file(GLOB _clap_artwork CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Resources/*.png)
set(_clap_resources ${_clap_artwork} ${ROBOTO_TTF})
set(_clap_resources_cpp ${CMAKE_CURRENT_BINARY_DIR}/BrevantCLAPResources.cpp)
string(REPLACE ";" "$<SEMICOLON>" _clap_resource_list "${_clap_resources}")
add_custom_command(OUTPUT ${_clap_resources_cpp}
  COMMAND ${CMAKE_COMMAND} -DOUT=${_clap_resources_cpp} -DFUNCTION=BrevantEmbeddedResources
    "-DFILES=${_clap_resource_list}" -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
  DEPENDS ${_clap_resources} ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
  COMMENT "Compiling Brevant's resources into the CLAP module"
  VERBATIM)
set_source_files_properties(${_clap_resources_cpp} PROPERTIES OBJECT_DEPENDS "${_clap_resources}")

add_library(brevant_plugin_clap STATIC ${_clap_sources})
target_link_libraries(brevant_plugin_clap PUBLIC iplug_clap igraphics_platform brevant_dsp)
target_include_directories(brevant_plugin_clap PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
brevant_warnings(brevant_plugin_clap)

# The module's own objects: its descriptor and instance creation, and the resources. The entry point comes from the
# binding's library and calls into them.
add_library(BrevantCLAP MODULE ${BREVANT_CLAP_ENTRY_SOURCE} ${_clap_resources_cpp})
brevant_warnings(BrevantCLAP)
target_link_libraries(BrevantCLAP PRIVATE brevant_plugin_clap)
set(BREVANT_CLAP_EXPORTS_MAP ${CMAKE_SOURCE_DIR}/cmake/clap-exports.map)
set_target_properties(BrevantCLAP PROPERTIES
  PREFIX ""
  SUFFIX ".clap"
  OUTPUT_NAME Brevant
  LIBRARY_OUTPUT_DIRECTORY $<1:${CMAKE_BINARY_DIR}>
  CXX_VISIBILITY_PRESET hidden
  C_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${BREVANT_CLAP_EXPORTS_MAP})
target_link_options(BrevantCLAP PRIVATE "LINKER:--version-script=${BREVANT_CLAP_EXPORTS_MAP}"
  "LINKER:--undefined=clap_entry")
if(NOT (BREVANT_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
  target_link_options(BrevantCLAP PRIVATE "LINKER:--no-undefined")
endif()
# A release module carries its C++ runtime, as the VST3 one does.
if(BREVANT_PORTABLE)
  target_link_options(BrevantCLAP PRIVATE -static-libstdc++ -static-libgcc)
endif()
set(BREVANT_CLAP_FILE ${CMAKE_BINARY_DIR}/Brevant.clap CACHE INTERNAL "The built CLAP plug-in")
