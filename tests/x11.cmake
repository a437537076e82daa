# The editor in real X11 windows, hosted in-process as a DAW hosts it and driven with xdotool. Every test runs in
# an Xvfb server of its own (xvfb-run): without a display the tests fail, they never skip.
if(TARGET Brevant)
  find_program(XVFB_RUN xvfb-run REQUIRED)
  find_program(XDOTOOL xdotool REQUIRED)
  file(GLOB _x11_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/X11/*.cpp)
  add_executable(test_x11 ${_x11_tests})
  # The host process keeps GL loaded, as a DAW drawing with GL does: the GL driver's own allocations then stay
  # reachable when the plug-in module is unloaded, instead of being reported as the plug-in's leaks.
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  target_link_libraries(test_x11 PRIVATE brevant_host GTest::gtest GTest::gtest_main OpenGL::GLX)
  target_link_options(test_x11 PRIVATE -Wl,--no-as-needed)
  get_target_property(_bundle Brevant BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_x11 PRIVATE BREVANT_BUNDLE_DIR="${_bundle}" XDOTOOL="${XDOTOOL}")
  add_dependencies(test_x11 Brevant)
  brevant_warnings(test_x11)
  # The CLAP plug-in's editor through its gui extension.
  if(TARGET BrevantCLAP)
    target_link_libraries(test_x11 PRIVATE clap_headers)
    target_include_directories(test_x11 PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/IPlug/CLAP)
    target_compile_definitions(test_x11 PRIVATE BREVANT_CLAP_FILE="${BREVANT_CLAP_FILE}")
    add_dependencies(test_x11 BrevantCLAP)
  endif()
  # Discovery and every test run through the wrapper; 24-bit depth for the GLX visual, and no server reset
  # between clients (a reset refuses the connections that arrive meanwhile).
  set_target_properties(test_x11 PROPERTIES CROSSCOMPILING_EMULATOR
    "${XVFB_RUN};-a;-s;-screen 0 2560x1600x24 -noreset")
  gtest_discover_tests(test_x11 DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600 LABELS x11)
endif()

# A small framework plug-in whose editor prompts for its values, and the tests typing and choosing in it.
if(TARGET test_x11)
  add_library(PromptTest MODULE ${CMAKE_CURRENT_SOURCE_DIR}/X11/PromptPlugin/PromptPlugin.cpp)
  target_link_libraries(PromptTest PRIVATE iplug_vst3 igraphics_platform)
  brevant_warnings(PromptTest)
  brevant_vst3_bundle(PromptTest BUNDLE_NAME PromptTest OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/bundles
    RESOURCES ${ROBOTO_TTF})
  get_target_property(_prompt_bundle PromptTest BREVANT_VST3_BUNDLE_DIR)
  target_compile_definitions(test_x11 PRIVATE PROMPT_BUNDLE_DIR="${_prompt_bundle}")
  add_dependencies(test_x11 PromptTest)
endif()

# The LV2 plug-in's editor as an LV2 host drives it: the module loaded by path, ui:parent, idle calls, port events.
if(TARGET test_x11 AND TARGET BrevantLV2)
  target_link_libraries(test_x11 PRIVATE PkgConfig::LV2)
  target_compile_definitions(test_x11 PRIVATE BREVANT_LV2_BUNDLE_DIR="${BREVANT_LV2_BUNDLE}")
  add_dependencies(test_x11 BrevantLV2)
endif()
