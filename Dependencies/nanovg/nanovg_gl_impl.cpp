// NanoVG's GL3 renderer and its framebuffer utilities, from the system package.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include "nanovg.h"
#define NANOVG_GL3_IMPLEMENTATION
#include "nanovg_gl.h"
#define NANOVG_GL_IMPLEMENTATION
#include "nanovg_gl_utils.h"
