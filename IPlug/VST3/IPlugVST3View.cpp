#include "IPlugVST3View.h"


namespace iplug
{

namespace
{
// The SDK's key codes and modifier bits that the translation needs.
constexpr int kKeySpace = 7;
constexpr int kShiftBit = 1 << 0;
constexpr int kAlternateBit = 1 << 1;
constexpr int kCommandBit = 1 << 2;
} // namespace

DEF_CLASS_IID(IPlugViewHeadless)

int VSTKeyCodeToVK(int keyCode, char ch)
{
  // VST3 key codes 1..56 in order; the virtual-key code each stands for.
  static constexpr int kTable[57] = {0,   8,   9,   12,  13,  19,  27,  32,  34,  35,  36,  37,  38,  39,  40,
                                     33,  34,  41,  42,  13,  44,  45,  46,  47,  96,  97,  98,  99,  100, 101,
                                     102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116,
                                     117, 118, 119, 120, 121, 122, 123, 144, 145, 16,  17,  18};
  if (keyCode == 0 || keyCode == 57)
  {
    if ((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z'))
      return ch;
    if (ch >= 'a' && ch <= 'z')
      return ch - 'a' + 'A';
    return 0;
  }
  if (keyCode >= 1 && keyCode <= 56)
    return kTable[keyCode];
  if (keyCode > 127)
    return keyCode - 80;
  return 0;
}

igraphics::IKeyPress TranslateKeyMessage(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers)
{
  char32_t ch = key;
  if (ch == 0)
  {
    if (keyCode & 0x80)
      ch = static_cast<char32_t>((keyCode & 0xFF) - 80);
    else if (keyCode == kKeySpace)
      ch = U' ';
  }
  // Only characters whose UTF-8 form is one byte travel as text.
  char text[2] = {};
  if (ch > 0 && ch < 0x80)
    text[0] = static_cast<char>(ch);

  return igraphics::IKeyPress(text, VSTKeyCodeToVK(keyCode, text[0]), (modifiers & kShiftBit) != 0,
                              (modifiers & kCommandBit) != 0, (modifiers & kAlternateBit) != 0);
}

} // namespace iplug
