#pragma once
// X11 keys in the framework's terms: a keysym (after Shift, before Control) and the modifier state become the
// IKeyPress the graphics context dispatches, with the virtual-key numbering the rest of the framework uses.

#include "IGraphicsStructs.h"

namespace iplug::igraphics
{

/** The virtual-key code of a keysym that names a key rather than a character (arrows, function keys, the keypad,
 *  editing keys, modifiers), or 0. Keypad Enter gives 0x800D so it can be told from Return. */
int X11KeySymToVK(unsigned long keysym);

/** The character a keysym types, as a code point (Latin-1 and Unicode keysyms), or 0. */
unsigned X11KeySymToCodePoint(unsigned long keysym);

/** The key record for a key event: named keys carry their virtual key; letters and digits their upper-case ASCII
 *  code; any other character only its text (VK 0, Shift dropped, since the character already says it).
 *  state is the X modifier mask: Shift, Control and Mod1 (Alt) are read. */
IKeyPress X11KeyPress(unsigned long keysym, unsigned state);

/** X cursor-font shape for a cursor type (unknown types: the arrow). */
unsigned X11CursorShape(ECursor cursor);

} // namespace iplug::igraphics
