# brevant_vst3_bundle(<target> BUNDLE_NAME <Name> [OUTPUT_DIRECTORY <dir>] [RESOURCES <file>...])
#
# Builds the MODULE library <target> as a Linux VST3 bundle:
#   <dir>/<Name>.vst3/Contents/x86_64-linux/<Name>.so   (dir defaults to ${CMAKE_BINARY_DIR}/VST3)
#   <dir>/<Name>.vst3/Contents/Resources/<file>...      (copied when built or changed)
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
  # A release module carries its C++ runtime, so it loads on distributions with an older libstdc++.
  if(BREVANT_PORTABLE)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  # Clang leaves a sanitizer runtime to the executable, so its sanitizer symbols stay open in a module.
  if(NOT (BREVANT_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()

  if(arg_RESOURCES)
    brevant_vst3_bundle_resources(${target} ${arg_RESOURCES})
  endif()
endfunction()

# brevant_vst3_bundle_resources(<target> <file>...)
#
# Copies files into the bundle's Contents/Resources/ whenever <target> is built, and again whenever a file
# changes (a changed image alone does not relink the module, so a post-build step would miss it).
function(brevant_vst3_bundle_resources target)
  get_target_property(_bundle ${target} BREVANT_VST3_BUNDLE_DIR)
  if(NOT _bundle)
    message(FATAL_ERROR "brevant_vst3_bundle_resources(${target}): call brevant_vst3_bundle(${target} ...) first")
  endif()
  set(_copies)
  foreach(_file ${ARGN})
    get_filename_component(_name ${_file} NAME)
    set(_copy ${_bundle}/Contents/Resources/${_name})
    add_custom_command(OUTPUT ${_copy}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_bundle}/Contents/Resources
      COMMAND ${CMAKE_COMMAND} -E copy ${_file} ${_copy}
      DEPENDS ${_file}
      VERBATIM)
    list(APPEND _copies ${_copy})
  endforeach()
  # One copying target per call, numbered so that a bundle can take resources from several places.
  get_target_property(_n ${target} BREVANT_VST3_RESOURCE_SETS)
  if(NOT _n)
    set(_n 0)
  endif()
  math(EXPR _n "${_n} + 1")
  set_target_properties(${target} PROPERTIES BREVANT_VST3_RESOURCE_SETS ${_n})
  add_custom_target(${target}_resources_${_n} DEPENDS ${_copies})
  add_dependencies(${target} ${target}_resources_${_n})
endfunction()
