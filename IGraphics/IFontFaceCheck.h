#pragma once
// The drawing backend's TrueType rasteriser trusts every offset and count in the bytes it is given: a damaged
// font file would have it read far outside them. A face is checked here before it gets there.

namespace iplug::igraphics
{

/** Whether face faceIdx of the size bytes at data is safe to give to the backend's rasteriser: every table
 *  record of the face lies inside the bytes, and every walk the rasteriser makes through the tables it reads
 *  (character map, metrics, glyph locations and outlines, kerning, pair positioning) stays inside its table,
 *  ends, and yields glyphs the face has. Faces with CFF outlines are refused: only TrueType outlines are drawn.
 *  Reads nothing outside the bytes, whatever they hold. */
bool IsFaceDrawable(const void* data, int size, int faceIdx);

} // namespace iplug::igraphics
