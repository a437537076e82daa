# Graphics drawn for real: the NanoVG backend on the headless EGL surface.
brevant_test_suite(test_graphics_drawing ${CMAKE_CURRENT_SOURCE_DIR}/IGraphics/Drawing igraphics_platform)
if(TARGET test_graphics_drawing)
  target_compile_definitions(test_graphics_drawing PRIVATE ROBOTO_TTF="${ROBOTO_TTF}")
endif()
if(TARGET test_graphics_drawing)
  target_compile_definitions(test_graphics_drawing PRIVATE
    BREVANT_RESOURCES="${CMAKE_SOURCE_DIR}/Examples/Brevant/Resources")
endif()
