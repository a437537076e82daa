# brevant_vst3_bundle(<target> BUNDLE_NAME <Name> [OUTPUT_DIRECTORY <dir>] [RESOURCES <file>...])
#
# Builds the MODULE library <target> as a Linux VST3 bundle:
#   <dir>/<Name>.vst3/Contents/x86_64-linux/<Name>.so   (dir defaults to ${CMAKE_BINARY_DIR}/VST3)
#   <dir>/<Name>.vst3/Contents/Resources/<file>...      (copied after each build)
# The module exports only GetPluginFactory, ModuleEntry and ModuleExit (version script plus hidden visibility),
# and the three are kept even when they live in a static library. Unresolved symbols fail the link, not the host's
# dlopen. The bundle folder is stored in the target property BREVANT_VST3_BUNDLE_DIR.
set(BREVANT_VST3_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/vst3-exports.map)

function(brevant_vst3_bundle target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "BUNDLE_NAME;OUTPUT_DIRECTORY" "RESOURCES")
  if(NOT arg_BUNDLE_NAME)
    message(FATAL_ERROR "brevant_vst3_bundle(${target}): BUNDLE_NAME is required")
  endif()
  get_target_property(_type ${target} TYPE)
  if(NOT _type STREQUAL "MODULE_LIBRARY")
    message(FATAL_ERROR "brevant_vst3_bundle(${target}): the target must be add_library(${target} MODULE ...)")
  endif()
  if(NOT arg_OUTPUT_DIRECTORY)
    set(arg_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/VST3)
  endif()

  set(_bundle ${arg_OUTPUT_DIRECTORY}/${arg_BUNDLE_NAME}.vst3)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(_arch x86_64-linux)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(_arch aarch64-linux)
  else()
    set(_arch ${CMAKE_SYSTEM_PROCESSOR}-linux)
  endif()

  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ".so"
    OUTPUT_NAME ${arg_BUNDLE_NAME}
    # The generator expression keeps multi-config generators from adding a per-config folder.
    LIBRARY_OUTPUT_DIRECTORY $<1:${_bundle}/Contents/${_arch}>
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${BREVANT_VST3_EXPORTS_MAP}
    BREVANT_VST3_BUNDLE_DIR ${_bundle})
  target_link_options(${target} PRIVATE
    "LINKER:--version-script=${BREVANT_VST3_EXPORTS_MAP}"
    "LINKER:--undefined=GetPluginFactory,--undefined=ModuleEntry,--undefined=ModuleExit")
  # Clang leaves a sanitizer runtime to the executable, so its sanitizer symbols stay open in a module.
  if(NOT (BREVANT_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()

  if(arg_RESOURCES)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_bundle}/Contents/Resources
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${arg_RESOURCES} ${_bundle}/Contents/Resources/
      VERBATIM)
  endif()
endfunction()
