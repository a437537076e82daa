#include "LinuxKeys.h"

#include <X11/X.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

namespace iplug::igraphics
{

int X11KeySymToVK(unsigned long keysym)
{
  if (keysym >= XK_F1 && keysym <= XK_F24)
    return 112 + static_cast<int>(keysym - XK_F1);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
    return 96 + static_cast<int>(keysym - XK_KP_0);
  switch (keysym)
  {
  case XK_BackSpace:
    return 8;
  case XK_Tab:
  case XK_ISO_Left_Tab:
    return 9;
  case XK_Clear:
    return 12;
  case XK_Return:
    return 13;
  case XK_KP_Enter:
    return 0x800D;
  case XK_Shift_L:
  case XK_Shift_R:
    return 16;
  case XK_Control_L:
  case XK_Control_R:
    return 17;
  case XK_Alt_L:
  case XK_Alt_R:
  case XK_Meta_L:
  case XK_Meta_R:
    return 18;
  case XK_Pause:
    return 19;
  case XK_Escape:
    return 27;
  case XK_space:
  case XK_KP_Space:
    return 32;
  case XK_Prior:
  case XK_KP_Prior:
    return 33;
  case XK_Next:
  case XK_KP_Next:
    return 34;
  case XK_End:
  case XK_KP_End:
    return 35;
  case XK_Home:
  case XK_KP_Home:
    return 36;
  case XK_Left:
  case XK_KP_Left:
    return 37;
  case XK_Up:
  case XK_KP_Up:
    return 38;
  case XK_Right:
  case XK_KP_Right:
    return 39;
  case XK_Down:
  case XK_KP_Down:
    return 40;
  case XK_Select:
    return 41;
  case XK_Print:
    return 42;
  case XK_Execute:
    return 43;
  case XK_Insert:
  case XK_KP_Insert:
    return 45;
  case XK_Delete:
  case XK_KP_Delete:
    return 46;
  case XK_Help:
    return 47;
  case XK_KP_Multiply:
    return 106;
  case XK_KP_Add:
    return 107;
  case XK_KP_Separator:
  case XK_KP_Equal:
    return 108;
  case XK_KP_Subtract:
    return 109;
  case XK_KP_Decimal:
    return 110;
  case XK_KP_Divide:
    return 111;
  case XK_Num_Lock:
    return 144;
  case XK_Scroll_Lock:
    return 145;
  default:
    return 0;
  }
}

unsigned X11KeySymToCodePoint(unsigned long keysym)
{
  if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
    return static_cast<unsigned>(keysym);
  if ((keysym & 0xff000000ul) == 0x01000000ul)
    return static_cast<unsigned>(keysym & 0x00fffffful);
  switch (keysym)
  {
  case XK_KP_Space:
    return ' ';
  case XK_KP_Multiply:
    return '*';
  case XK_KP_Add:
    return '+';
  case XK_KP_Subtract:
    return '-';
  case XK_KP_Decimal:
    return '.';
  case XK_KP_Divide:
    return '/';
  case XK_KP_Equal:
    return '=';
  default:
    break;
  }
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
    return static_cast<unsigned>('0' + (keysym - XK_KP_0));
  return 0;
}

namespace
{
void ToUtf8(unsigned cp, char (&out)[5])
{
  int n = 0;
  if (cp < 0x80)
    out[n++] = static_cast<char>(cp);
  else if (cp < 0x800)
  {
    out[n++] = static_cast<char>(0xC0 | (cp >> 6));
    out[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  else if (cp < 0x10000)
  {
    out[n++] = static_cast<char>(0xE0 | (cp >> 12));
    out[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  else if (cp < 0x110000)
  {
    out[n++] = static_cast<char>(0xF0 | (cp >> 18));
    out[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  out[n] = 0;
}
} // namespace

IKeyPress X11KeyPress(unsigned long keysym, unsigned state)
{
  IKeyPress key;
  key.S = (state & ShiftMask) != 0;
  key.C = (state & ControlMask) != 0;
  key.A = (state & Mod1Mask) != 0;
  const unsigned cp = X11KeySymToCodePoint(keysym);
  if (cp)
    ToUtf8(cp, key.utf8);
  key.VK = X11KeySymToVK(keysym);
  if (key.VK)
    return key;
  if (cp >= 'a' && cp <= 'z')
    key.VK = static_cast<int>(cp - 'a' + 'A');
  else if ((cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9'))
    key.VK = static_cast<int>(cp);
  else
    key.S = false; // a plain character: Shift already chose it
  return key;
}

unsigned X11CursorShape(ECursor cursor)
{
  switch (cursor)
  {
  case ECursor::kText:
    return XC_xterm;
  case ECursor::kWait:
  case ECursor::kBusy:
    return XC_watch;
  case ECursor::kCross:
    return XC_crosshair;
  case ECursor::kUpArrow:
    return XC_sb_up_arrow;
  case ECursor::kSizeNWSE:
    return XC_bottom_right_corner;
  case ECursor::kSizeNESW:
    return XC_bottom_left_corner;
  case ECursor::kSizeWE:
    return XC_sb_h_double_arrow;
  case ECursor::kSizeNS:
    return XC_sb_v_double_arrow;
  case ECursor::kMove:
    return XC_fleur;
  case ECursor::kNotAllowed:
    return XC_X_cursor;
  case ECursor::kHand:
    return XC_hand2;
  case ECursor::kHelp:
    return XC_question_arrow;
  case ECursor::kArrow:
  default:
    return XC_left_ptr;
  }
}

} // namespace iplug::igraphics
