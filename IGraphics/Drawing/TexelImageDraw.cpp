#include "TexelImageDraw.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace iplug::igraphics
{

namespace
{
// The rectangle comes from the vertex index alone: no vertex buffer to fill per draw.
const char* kVertexShader = R"(#version 150 core
uniform vec4 rect;   // l, t, r, b in device pixels, rows from the top
uniform vec2 target; // the target's size in device pixels
void main()
{
  vec2 p = vec2((gl_VertexID & 1) == 0 ? rect.x : rect.z, gl_VertexID < 2 ? rect.y : rect.w);
  gl_Position = vec4(2.0 * p.x / target.x - 1.0, 1.0 - 2.0 * p.y / target.y, 0.0, 1.0);
}
)";

// The texel under each pixel's centre, premultiplied and weighted with the very operations NanoVG's image paint
// applies, so the colours that reach the blender are the same.
const char* kFragmentShader = R"(#version 150 core
uniform sampler2D tex;
uniform vec2 target;
uniform ivec2 origin;
uniform ivec2 texSize;
uniform float weight;
out vec4 outColor;
void main()
{
  ivec2 p = ivec2(int(gl_FragCoord.x), int(target.y - gl_FragCoord.y));
  vec4 c = texelFetch(tex, clamp(p - origin, ivec2(0), texSize - 1), 0);
  outColor = vec4(c.xyz * c.w, c.w) * weight;
}
)";

GLuint Compile(GLenum type, const char* source)
{
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE)
  {
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}
} // namespace

bool TexelImageDraw::Create()
{
  Destroy();
  const GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader);
  const GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
  if (vs && fs)
  {
    mProgram = glCreateProgram();
    glAttachShader(mProgram, vs);
    glAttachShader(mProgram, fs);
    glBindFragDataLocation(mProgram, 0, "outColor");
    glLinkProgram(mProgram);
    GLint ok = GL_FALSE;
    glGetProgramiv(mProgram, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE)
    {
      glDeleteProgram(mProgram);
      mProgram = 0;
    }
  }
  if (vs)
    glDeleteShader(vs);
  if (fs)
    glDeleteShader(fs);
  if (!mProgram)
    return false;
  mRectLoc = glGetUniformLocation(mProgram, "rect");
  mTargetLoc = glGetUniformLocation(mProgram, "target");
  mOriginLoc = glGetUniformLocation(mProgram, "origin");
  mTexSizeLoc = glGetUniformLocation(mProgram, "texSize");
  mWeightLoc = glGetUniformLocation(mProgram, "weight");
  mTexLoc = glGetUniformLocation(mProgram, "tex");
  glGenVertexArrays(1, &mVAO);
  return true;
}

void TexelImageDraw::Destroy()
{
  if (mProgram)
    glDeleteProgram(mProgram);
  if (mVAO)
    glDeleteVertexArrays(1, &mVAO);
  mProgram = 0;
  mVAO = 0;
}

void TexelImageDraw::Draw(unsigned tex, int texW, int texH, int originX, int originY, int l, int t, int r, int b,
                          int targetW, int targetH, float weight)
{
  if (!mProgram || l >= r || t >= b)
    return;
  glUseProgram(mProgram);
  glBindVertexArray(mVAO);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glEnable(GL_BLEND);
  glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, tex);
  glUniform1i(mTexLoc, 0);
  glUniform4f(mRectLoc, static_cast<float>(l), static_cast<float>(t), static_cast<float>(r), static_cast<float>(b));
  glUniform2f(mTargetLoc, static_cast<float>(targetW), static_cast<float>(targetH));
  glUniform2i(mOriginLoc, originX, originY);
  glUniform2i(mTexSizeLoc, texW, texH);
  glUniform1f(mWeightLoc, weight);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindVertexArray(0);
  glUseProgram(0);
}

} // namespace iplug::igraphics
