// NanoVG's core, compiled from the system package as C++.
#include "nanovg.c"

#include "nanovg_image.h"

namespace nvgimage
{

bool InfoFile(const char* path, int* width, int* height)
{
  int n = 0;
  return path && stbi_info(path, width, height, &n) != 0;
}

bool InfoMemory(const unsigned char* data, int size, int* width, int* height)
{
  int n = 0;
  return data && size > 0 && stbi_info_from_memory(data, size, width, height, &n) != 0;
}

// The same settings as nvgCreateImage and nvgCreateImageMem.
unsigned char* DecodeFile(const char* path, int* width, int* height)
{
  int n = 0;
  stbi_set_unpremultiply_on_load(1);
  stbi_convert_iphone_png_to_rgb(1);
  return path ? stbi_load(path, width, height, &n, 4) : nullptr;
}

unsigned char* DecodeMemory(const unsigned char* data, int size, int* width, int* height)
{
  int n = 0;
  return data && size > 0 ? stbi_load_from_memory(data, size, width, height, &n, 4) : nullptr;
}

void Free(unsigned char* pixels) { stbi_image_free(pixels); }

} // namespace nvgimage
