#pragma once
// Image decoding exactly as NanoVG's own image loaders do it, for images that must be checked or split before
// they are uploaded (the decoder lives inside NanoVG's core).

namespace nvgimage
{

/** Width and height of an image file or of encoded bytes, without decoding it; false when unreadable. */
bool InfoFile(const char* path, int* width, int* height);
bool InfoMemory(const unsigned char* data, int size, int* width, int* height);
/** RGBA pixels (free with Free), or null. */
unsigned char* DecodeFile(const char* path, int* width, int* height);
unsigned char* DecodeMemory(const unsigned char* data, int size, int* width, int* height);
void Free(unsigned char* pixels);

} // namespace nvgimage
