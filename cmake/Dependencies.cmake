# Third-party code comes from Debian packages; nothing of it is copied into this repository.
set(VST3_SDK_DIR "/usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK"
    CACHE PATH "VST3 SDK (package juce-modules-source-data)")
set(NANOVG_DIR "/usr/share/dpf/dgl/src/nanovg" CACHE PATH "NanoVG with fontstash (package dpf-source)")
set(STB_DIR "/usr/include/stb" CACHE PATH "stb headers (package libstb-dev)")
set(CLAP_HEADERS_DIR "/usr/share/dpf/distrho/src/clap" CACHE PATH "CLAP 1.1 headers (package dpf-source)")
set(ROBOTO_TTF "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf"
    CACHE FILEPATH "Roboto Regular (package fonts-roboto-unhinted)")

function(brevant_require path package)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} not found: install the Debian package '${package}' (scripts/install-deps does it)")
  endif()
endfunction()

brevant_require("${VST3_SDK_DIR}/pluginterfaces/base/funknown.h" juce-modules-source-data)
brevant_require("${NANOVG_DIR}/nanovg.c" dpf-source)
brevant_require("${STB_DIR}/stb_textedit.h" libstb-dev)
brevant_require("${ROBOTO_TTF}" fonts-roboto-unhinted)
brevant_require("${CLAP_HEADERS_DIR}/entry.h" dpf-source)

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

# --- VST3 SDK subset ---------------------------------------------------------------------------
set(_sdk ${VST3_SDK_DIR})
set(VST3_SDK_SOURCES
  ${_sdk}/base/source/baseiids.cpp ${_sdk}/base/source/fbuffer.cpp ${_sdk}/base/source/fdebug.cpp
  ${_sdk}/base/source/fobject.cpp ${_sdk}/base/source/fstreamer.cpp ${_sdk}/base/source/fstring.cpp
  ${_sdk}/base/source/updatehandler.cpp ${_sdk}/base/thread/source/flock.cpp
  ${_sdk}/pluginterfaces/base/conststringtable.cpp ${_sdk}/pluginterfaces/base/coreiids.cpp
  ${_sdk}/pluginterfaces/base/funknown.cpp ${_sdk}/pluginterfaces/base/ustring.cpp
  ${_sdk}/public.sdk/source/common/pluginview.cpp ${_sdk}/public.sdk/source/common/memorystream.cpp
  ${_sdk}/public.sdk/source/vst/vstbus.cpp ${_sdk}/public.sdk/source/vst/vstcomponent.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponentbase.cpp ${_sdk}/public.sdk/source/vst/vsteditcontroller.cpp
  ${_sdk}/public.sdk/source/vst/vstparameters.cpp ${_sdk}/public.sdk/source/vst/vstinitiids.cpp
  ${_sdk}/public.sdk/source/vst/vstpresetfile.cpp)
foreach(f ${VST3_SDK_SOURCES})
  brevant_require("${f}" juce-modules-source-data)
endforeach()
add_library(vst3sdk STATIC ${VST3_SDK_SOURCES})
target_include_directories(vst3sdk SYSTEM PUBLIC ${_sdk})
target_compile_definitions(vst3sdk PUBLIC $<IF:$<CONFIG:Debug>,DEVELOPMENT=1,RELEASE=1>)
target_compile_options(vst3sdk PRIVATE -w)
target_link_libraries(vst3sdk PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

# The packaged subset lacks SingleComponentEffect, CPluginFactory and the Linux module entry. Dependencies/vst3 holds
# API-compatible versions (same class names and header paths). They are compiled into iplug_vst3, and their headers
# put on the SDK's include path, only when the SDK on this machine lacks its own; a full SDK's files are used instead.
if(EXISTS ${_sdk}/public.sdk/source/vst/vstsinglecomponenteffect.cpp
   AND EXISTS ${_sdk}/public.sdk/source/main/pluginfactory.cpp)
  set(BREVANT_OWN_VST3_HELPERS OFF)
  target_sources(vst3sdk PRIVATE ${_sdk}/public.sdk/source/vst/vstsinglecomponenteffect.cpp
                 ${_sdk}/public.sdk/source/main/pluginfactory.cpp)
  if(EXISTS ${_sdk}/public.sdk/source/main/linuxmain.cpp)
    target_sources(vst3sdk PRIVATE ${_sdk}/public.sdk/source/main/linuxmain.cpp)
  endif()
else()
  set(BREVANT_OWN_VST3_HELPERS ON)
  target_include_directories(vst3sdk SYSTEM PUBLIC ${CMAKE_SOURCE_DIR}/Dependencies/vst3/include)
endif()

# The subset also declares the editor-view interface IDs (IPlugView, IPlugFrame, Linux::IRunLoop ...) without
# defining them; every layer that uses the SDK may need them, so they go into vst3sdk itself.
if(EXISTS ${_sdk}/public.sdk/source/common/commoniids.cpp)
  target_sources(vst3sdk PRIVATE ${_sdk}/public.sdk/source/common/commoniids.cpp)
else()
  target_sources(vst3sdk PRIVATE ${CMAKE_SOURCE_DIR}/Dependencies/vst3/iids/commoniids.cpp)
endif()

add_library(vst3sdk_hosting STATIC
  ${_sdk}/public.sdk/source/vst/hosting/hostclasses.cpp
  ${_sdk}/public.sdk/source/vst/hosting/pluginterfacesupport.cpp)
target_compile_options(vst3sdk_hosting PRIVATE -w)
target_link_libraries(vst3sdk_hosting PUBLIC vst3sdk)

# brevant_vst3_bundle(): turns a MODULE library into a Linux .vst3 bundle.
include(${CMAKE_CURRENT_LIST_DIR}/VST3Bundle.cmake)

# --- NanoVG (compiled as C++: it uses C++ enum syntax) -----------------------------------------
# With it: the GL3 renderer and its framebuffer utilities, and stb's PNG writer for screenshots.
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL GLX)
add_library(nanovg STATIC ${CMAKE_SOURCE_DIR}/Dependencies/nanovg/nanovg_impl.cpp
  ${CMAKE_SOURCE_DIR}/Dependencies/nanovg/nanovg_gl_impl.cpp
  ${CMAKE_SOURCE_DIR}/Dependencies/nanovg/stb_image_write_impl.cpp)
target_include_directories(nanovg SYSTEM PUBLIC ${NANOVG_DIR} ${STB_DIR} ${CMAKE_SOURCE_DIR}/Dependencies/nanovg)
target_compile_options(nanovg PRIVATE -w)
target_link_libraries(nanovg PUBLIC OpenGL::OpenGL m)

# --- CLAP headers --------------------------------------------------------------------------------
# Only the clap/ folder of the package is put on the include path (through a link in the build tree), so that
# nothing else from that package can be included by accident.
set(_clap_include ${CMAKE_BINARY_DIR}/clap-include)
file(MAKE_DIRECTORY ${_clap_include})
file(CREATE_LINK ${CLAP_HEADERS_DIR} ${_clap_include}/clap SYMBOLIC)
add_library(clap_headers INTERFACE)
target_include_directories(clap_headers SYSTEM INTERFACE ${_clap_include})

# --- LV2 headers and lilv --------------------------------------------------------------------------
# The headers are found by their <lv2/...> paths; lilv is the host library the tests and brevant-host load bundles with.
pkg_check_modules(LV2 REQUIRED IMPORTED_TARGET lv2)
pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)

# Include folders shared by every layer: headers are included by their bare names.
add_library(brevant_includes INTERFACE)
target_include_directories(brevant_includes INTERFACE
  ${CMAKE_SOURCE_DIR}
  ${CMAKE_SOURCE_DIR}/IPlug ${CMAKE_SOURCE_DIR}/IPlug/WDL ${CMAKE_SOURCE_DIR}/IPlug/VST3 ${CMAKE_SOURCE_DIR}/IPlug/CLAP ${CMAKE_SOURCE_DIR}/IPlug/LV2
  ${CMAKE_SOURCE_DIR}/IGraphics ${CMAKE_SOURCE_DIR}/IGraphics/Controls
  ${CMAKE_SOURCE_DIR}/IGraphics/Drawing ${CMAKE_SOURCE_DIR}/IGraphics/Platforms
  ${CMAKE_SOURCE_DIR}/Sources/Brevant)
