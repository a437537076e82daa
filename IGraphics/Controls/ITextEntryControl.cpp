#include "ITextEntryControl.h"

#include "IGraphics.h"
#include "IGraphicsEditorDelegate.h"
#include "IPlugParameter.h"
#include "IPopupMenu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug::igraphics
{

namespace
{
// Key words handed to stb_textedit: a code point, or a virtual key with the high bit set; modifiers above.
constexpr unsigned int kVirtualKeyBit = 0x80000000u;
constexpr unsigned int kShiftBit = 0x40000000u;
constexpr unsigned int kControlBit = 0x20000000u;
constexpr unsigned int kAltBit = 0x10000000u;
constexpr unsigned int kModifierBits = kShiftBit | kControlBit | kAltBit;

constexpr char32_t kReplacement = 0xFFFD;

int KeyToText(unsigned int key)
{
  // Control chords and virtual keys never insert anything; alt stays allowed for AltGr layouts.
  if (key & (kVirtualKeyBit | kControlBit))
    return -1;
  return static_cast<int>(key & ~kModifierBits);
}
} // namespace

} // namespace iplug::igraphics

#define STB_TEXTEDIT_STRING iplug::igraphics::ITextEntryControl
#define STB_TEXTEDIT_STRINGLEN(s) iplug::igraphics::ITextEntryControl::GetLength(s)
#define STB_TEXTEDIT_LAYOUTROW(r, s, n) iplug::igraphics::ITextEntryControl::Layout(r, s, n)
#define STB_TEXTEDIT_GETWIDTH(s, n, i) iplug::igraphics::ITextEntryControl::GetCharWidth(s, n, i)
#define STB_TEXTEDIT_KEYTOTEXT(k) iplug::igraphics::KeyToText(k)
#define STB_TEXTEDIT_GETCHAR(s, i) iplug::igraphics::ITextEntryControl::GetChar(s, i)
#define STB_TEXTEDIT_NEWLINE u'\n'
#define STB_TEXTEDIT_IS_SPACE(c) ((c) == u' ' || (c) == u'\t')
#define STB_TEXTEDIT_DELETECHARS(s, i, n) iplug::igraphics::ITextEntryControl::DeleteChars(s, i, n)
#define STB_TEXTEDIT_INSERTCHARS(s, i, c, n) iplug::igraphics::ITextEntryControl::InsertChars(s, i, c, n)

#define STB_TEXTEDIT_K_SHIFT 0x40000000u
#define STB_TEXTEDIT_K_CONTROL 0x20000000u
#define STB_TEXTEDIT_K_LEFT (0x80000000u | 0x25u)
#define STB_TEXTEDIT_K_RIGHT (0x80000000u | 0x27u)
#define STB_TEXTEDIT_K_UP (0x80000000u | 0x26u)
#define STB_TEXTEDIT_K_DOWN (0x80000000u | 0x28u)
#define STB_TEXTEDIT_K_PGUP (0x80000000u | 0x21u)
#define STB_TEXTEDIT_K_PGDOWN (0x80000000u | 0x22u)
#define STB_TEXTEDIT_K_LINESTART (0x80000000u | 0x24u)
#define STB_TEXTEDIT_K_LINEEND (0x80000000u | 0x23u)
#define STB_TEXTEDIT_K_TEXTSTART (STB_TEXTEDIT_K_LINESTART | STB_TEXTEDIT_K_CONTROL)
#define STB_TEXTEDIT_K_TEXTEND (STB_TEXTEDIT_K_LINEEND | STB_TEXTEDIT_K_CONTROL)
#define STB_TEXTEDIT_K_DELETE (0x80000000u | 0x2Eu)
#define STB_TEXTEDIT_K_BACKSPACE (0x80000000u | 0x08u)
#define STB_TEXTEDIT_K_UNDO (0x80000000u | STB_TEXTEDIT_K_CONTROL | 0x5Au)
#define STB_TEXTEDIT_K_REDO (0x80000000u | STB_TEXTEDIT_K_CONTROL | STB_TEXTEDIT_K_SHIFT | 0x5Au)
#define STB_TEXTEDIT_K_WORDLEFT (STB_TEXTEDIT_K_LEFT | STB_TEXTEDIT_K_CONTROL)
#define STB_TEXTEDIT_K_WORDRIGHT (STB_TEXTEDIT_K_RIGHT | STB_TEXTEDIT_K_CONTROL)

// The library's implementation is not ours to tidy: its warnings are silenced here only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_TEXTEDIT_IMPLEMENTATION
#include <stb_textedit.h>
#pragma GCC diagnostic pop

namespace iplug::igraphics
{

namespace
{
/** Decodes one UTF-8 sequence at s; returns its length (at least 1 unless at the end). */
int DecodeUTF8(const char* s, char32_t& cp)
{
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  if (!u[0])
  {
    cp = 0;
    return 0;
  }
  int n = 1;
  if (u[0] < 0x80)
  {
    cp = u[0];
    return 1;
  }
  if ((u[0] & 0xE0) == 0xC0)
    n = 2, cp = u[0] & 0x1F;
  else if ((u[0] & 0xF0) == 0xE0)
    n = 3, cp = u[0] & 0x0F;
  else if ((u[0] & 0xF8) == 0xF0)
    n = 4, cp = u[0] & 0x07;
  else
  {
    cp = kReplacement;
    return 1;
  }
  for (int i = 1; i < n; i++)
  {
    if ((u[i] & 0xC0) != 0x80)
    {
      cp = kReplacement;
      return i;
    }
    cp = (cp << 6) | (u[i] & 0x3F);
  }
  return n;
}

std::u16string UTF8ToUTF16(const char* s)
{
  std::u16string out;
  if (!s)
    return out;
  while (*s)
  {
    char32_t cp = 0;
    s += DecodeUTF8(s, cp);
    // One unit per character: stb_textedit moves by units, so characters beyond the basic plane cannot be edited.
    out.push_back(cp > 0xFFFF || (cp >= 0xD800 && cp < 0xE000) ? static_cast<char16_t>(kReplacement)
                                                               : static_cast<char16_t>(cp));
  }
  return out;
}

void AppendUTF8(std::string& out, char32_t cp)
{
  if (cp < 0x80)
    out.push_back(static_cast<char>(cp));
  else if (cp < 0x800)
  {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  else
  {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string UTF16ToUTF8(const char16_t* s, size_t n)
{
  std::string out;
  for (size_t i = 0; i < n; i++)
    AppendUTF8(out, s[i]);
  return out;
}

/** The single menu of editing commands, shared by every text entry. */
IPopupMenu& EditMenu()
{
  static IPopupMenu sMenu;
  if (!sMenu.NItems())
  {
    sMenu.AddItem("Cut");
    sMenu.AddItem("Copy");
    sMenu.AddItem("Paste");
  }
  return sMenu;
}

constexpr int kBlinkMs = 1000;

void CaretBlinkAnimation(IControl* pCaller)
{
  auto* pEntry = static_cast<ITextEntryControl*>(pCaller);
  const double progress = pCaller->GetAnimationProgress();
  if (progress > 1.0)
  {
    pCaller->OnEndAnimation();
    if (pEntry->EditInProgress())
      pCaller->SetDirty(true); // the action function starts the next cycle
    return;
  }
  if (progress > 0.5 && pEntry->GetCaretVisible())
    pEntry->SetCaretVisible(false);
}
} // namespace

ITextEntryControl::ITextEntryControl()
    : IControl(IRECT(),
               [](IControl* pCaller)
               {
                 // Every change shows the caret and restarts the blink.
                 auto* pEntry = static_cast<ITextEntryControl*>(pCaller);
                 pEntry->SetCaretVisible(true);
                 pCaller->SetAnimation(CaretBlinkAnimation, kBlinkMs);
               })
{
  stb_textedit_initialize_state(&mEditState, 1);
}

ITextEntryControl::~ITextEntryControl() = default;

void ITextEntryControl::SetCaretVisible(bool visible)
{
  mDrawCursor = visible;
  IControl::SetDirty(false);
}

// --- stb_textedit callbacks ---------------------------------------------------------------------

char16_t ITextEntryControl::GetChar(ITextEntryControl* pEntry, int idx)
{
  return (idx >= 0 && idx < pEntry->Length()) ? pEntry->mEditString[static_cast<size_t>(idx)] : u'\0';
}

float ITextEntryControl::GetCharWidth(ITextEntryControl* pEntry, int rowStart, int idx)
{
  const size_t i = static_cast<size_t>(rowStart + idx);
  return i < pEntry->mCharWidths.size() ? pEntry->mCharWidths[i] : 0.f;
}

void ITextEntryControl::Layout(StbTexteditRow* pRow, ITextEntryControl* pEntry, int startIdx)
{
  // One row holding everything from startIdx.
  float width = 0.f;
  for (int i = startIdx; i < pEntry->Length(); i++)
    width += GetCharWidth(pEntry, 0, i);
  pRow->x0 = 0.f;
  pRow->x1 = width;
  pRow->baseline_y_delta = pEntry->mText.mSize;
  pRow->ymin = 0.f;
  pRow->ymax = pEntry->mText.mSize;
  pRow->num_chars = pEntry->Length() - startIdx;
}

bool ITextEntryControl::DeleteChars(ITextEntryControl* pEntry, int idx, int n)
{
  if (idx < 0 || n < 0 || idx + n > pEntry->Length())
    return false;
  pEntry->mEditString.erase(static_cast<size_t>(idx), static_cast<size_t>(n));
  pEntry->OnTextChange();
  return true;
}

bool ITextEntryControl::InsertChars(ITextEntryControl* pEntry, int idx, const char16_t* text, int n)
{
  if (idx < 0 || n < 0 || idx > pEntry->Length())
    return false;
  if (pEntry->mMaxLength > 0 && pEntry->Length() + n > pEntry->mMaxLength)
    return false;
  pEntry->mEditString.insert(static_cast<size_t>(idx), text, static_cast<size_t>(n));
  pEntry->OnTextChange();
  return true;
}

// --- the edit's lifecycle -------------------------------------------------------------------------

void ITextEntryControl::CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                        const char* str)
{
  mParamIdx = paramIdx;
  mMaxLength = length;
  SetTargetAndDrawRECTs(bounds);
  mText = text.WithFGColor(text.mTextEntryFGColor);
  stb_textedit_initialize_state(&mEditState, 1);
  // The initial text may be longer than what can be typed: it is kept whole.
  mEditString = UTF8ToUTF16(str);
  OnTextChange();
  SelectAll();
  mEditState.cursor = 0;
  mMouseIsDown = false;
  mEditing = true;
  SetDirty(true);
}

void ITextEntryControl::EndEdit()
{
  mEditing = false;
  mMouseIsDown = false;
  mDrawCursor = false;
  SetTargetAndDrawRECTs(IRECT());
}

void ITextEntryControl::CommitEdit()
{
  if (!mEditing)
    return;
  const std::string text = mUTF8;
  EndEdit();
  if (IGraphics* pGraphics = GetUI())
  {
    pGraphics->SetControlValueAfterTextEdit(text.c_str());
    pGraphics->SetAllControlsDirty();
  }
}

void ITextEntryControl::DismissEdit()
{
  if (!mEditing)
    return;
  EndEdit();
  if (IGraphics* pGraphics = GetUI())
  {
    pGraphics->ClearInTextEntryControl();
    pGraphics->SetAllControlsDirty();
  }
}

void ITextEntryControl::OnTextChange()
{
  mUTF8 = UTF16ToUTF8(mEditString.data(), mEditString.size());
  FillCharWidthCache();
}

void ITextEntryControl::FillCharWidthCache()
{
  // Each width is the advance of the prefix ending with that character. A bar after the prefix keeps
  // trailing spaces measurable (ink bounds alone would give them no width).
  mCharWidths.assign(mEditString.size(), 0.f);
  IGraphics* pGraphics = GetUI();
  if (!pGraphics)
    return;
  auto measure = [&](size_t n)
  {
    std::string s = UTF16ToUTF8(mEditString.data(), n) + "|";
    IRECT r;
    pGraphics->MeasureText(mText, s.c_str(), r);
    return r.W();
  };
  float previous = measure(0);
  for (size_t i = 0; i < mEditString.size(); i++)
  {
    const float next = measure(i + 1);
    mCharWidths[i] = std::max(0.f, next - previous);
    previous = next;
  }
}

// --- editing operations -------------------------------------------------------------------------

void ITextEntryControl::SelectAll()
{
  mEditState.select_start = 0;
  mEditState.select_end = Length();
  mEditState.cursor = Length();
  SetDirty(true);
}

void ITextEntryControl::CopySelection()
{
  const int start = GetSelectionStart(), end = GetSelectionEnd();
  if (start == end || !GetUI())
    return;
  GetUI()->SetTextInClipboard(UTF16ToUTF8(mEditString.data() + start, static_cast<size_t>(end - start)).c_str());
}

void ITextEntryControl::Cut()
{
  if (GetSelectionStart() == GetSelectionEnd())
    return;
  CopySelection();
  stb_textedit_cut(this, &mEditState);
  SetDirty(true);
}

std::u16string ITextEntryControl::Sanitize(const std::u16string& text, int room) const
{
  std::u16string out;
  for (char16_t c : text)
  {
    if (c < 0x20 || c == 0x7F)
      continue; // one line only: newlines and tabs from the clipboard are dropped
    if (room >= 0 && static_cast<int>(out.size()) >= room)
      break;
    out.push_back(c);
  }
  return out;
}

void ITextEntryControl::Paste()
{
  WDL_String clip;
  if (!GetUI() || !GetUI()->GetTextFromClipboard(clip))
    return;
  // What does not fit is clipped rather than refused, so a long clipboard still pastes its start.
  const int selected = GetSelectionEnd() - GetSelectionStart();
  const int room = mMaxLength > 0 ? std::max(0, mMaxLength - (Length() - selected)) : -1;
  const std::u16string text = Sanitize(UTF8ToUTF16(clip.Get()), room);
  if (text.empty())
    return;
  stb_textedit_paste(this, &mEditState, text.data(), static_cast<int>(text.size()));
  SetDirty(true);
}

void ITextEntryControl::SetStr(const char* str)
{
  const std::u16string text = UTF8ToUTF16(str);
  SelectAll();
  if (Length())
    stb_textedit_cut(this, &mEditState);
  if (!text.empty())
    stb_textedit_paste(this, &mEditState, text.data(), static_cast<int>(text.size()));
  SetDirty(true);
}

// --- keys -----------------------------------------------------------------------------------------

bool ITextEntryControl::CallSTB(unsigned int key)
{
  const std::u16string before = mEditString;
  const int cursor = mEditState.cursor, start = mEditState.select_start, end = mEditState.select_end;
  stb_textedit_key(this, &mEditState, key);
  const bool changed = before != mEditString || cursor != mEditState.cursor || start != mEditState.select_start ||
                       end != mEditState.select_end;
  if (changed)
    SetDirty(true);
  return changed;
}

bool ITextEntryControl::CodepointAccepted(char32_t cp) const
{
  const IParam* pParam = (GetDelegate() && mParamIdx >= 0) ? GetDelegate()->GetParam(mParamIdx) : nullptr;
  if (!pParam)
    return true;
  // Judged by the character, not the key, so layouts that need shift for digits can still type them.
  if ((cp >= U'0' && cp <= U'9') || cp == U'+' || cp == U'-')
    return true;
  return cp == U'.' && pParam->Type() == IParam::kTypeDouble;
}

bool ITextEntryControl::OnKeyDown(float x, float y, const IKeyPress& key)
{
  (void)x, (void)y;
  if (!mEditing)
    return false;

  unsigned int mods = 0;
  if (key.S)
    mods |= kShiftBit;
  if (key.C)
    mods |= kControlBit;
  if (key.A)
    mods |= kAltBit;

  if (key.C)
  {
    switch (key.VK)
    {
    case kVK_A:
      SelectAll();
      return true;
    case kVK_C:
      CopySelection();
      return true;
    case kVK_V:
      Paste();
      return true;
    case kVK_X:
      Cut();
      return true;
    case kVK_Z:
      CallSTB(STB_TEXTEDIT_K_UNDO | (key.S ? kShiftBit : 0u));
      return true;
    default:
      break;
    }
  }

  switch (key.VK)
  {
  case kVK_RETURN:
  case kVK_KEYPAD_ENTER:
    CommitEdit();
    return true;
  case kVK_ESCAPE:
    DismissEdit();
    return true;
  case kVK_TAB:
    return false;
  case kVK_BACK:
  case kVK_PRIOR:
  case kVK_NEXT:
  case kVK_END:
  case kVK_HOME:
  case kVK_LEFT:
  case kVK_UP:
  case kVK_RIGHT:
  case kVK_DOWN:
  case kVK_DELETE:
    return CallSTB(kVirtualKeyBit | static_cast<unsigned int>(key.VK) | mods);
  default:
    break;
  }

  // One code point from the key's text; a malformed or over-long form becomes an underscore.
  char32_t cp = 0;
  const size_t len = strnlen(key.utf8, sizeof(key.utf8));
  const int used = DecodeUTF8(key.utf8, cp);
  if (len > 4 || cp == kReplacement || (used > 0 && static_cast<size_t>(used) != len))
    cp = U'_';
  const bool printable = cp >= 0x20 && cp != 0x7F && cp <= 0xFFFF && !(cp >= 0xD800 && cp < 0xE000);
  if (!printable || !CodepointAccepted(cp))
    return CallSTB(kVirtualKeyBit | static_cast<unsigned int>(key.VK) | mods);
  return CallSTB(static_cast<unsigned int>(cp) | mods);
}

// --- mouse ----------------------------------------------------------------------------------------

float ITextEntryControl::GetTextLeft() const
{
  float width = 0.f;
  for (float w : mCharWidths)
    width += w;
  switch (mText.mAlign)
  {
  case EAlign::kNear:
    return mRECT.L;
  case EAlign::kFar:
    return mRECT.R - width;
  case EAlign::kCenter:
  default:
    return mRECT.MW() - width * 0.5f;
  }
}

float ITextEntryControl::GetCharX(int idx) const
{
  float x = GetTextLeft();
  for (int i = 0; i < idx && i < static_cast<int>(mCharWidths.size()); i++)
    x += mCharWidths[static_cast<size_t>(i)];
  return x;
}

float ITextEntryControl::LineTop() const
{
  switch (mText.mVAlign)
  {
  case EVAlign::kTop:
    return mRECT.T;
  case EVAlign::kBottom:
    return mRECT.B - mText.mSize;
  case EVAlign::kMiddle:
  default:
    return mRECT.MH() - mText.mSize * 0.5f;
  }
}

float ITextEntryControl::LineBottom() const { return LineTop() + mText.mSize; }

void ITextEntryControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (!mEditing)
    return;
  // A click outside the field ends the edit and keeps what was typed.
  if (!mRECT.Contains(x, y))
  {
    CommitEdit();
    return;
  }
  if (mod.R)
  {
    if (GetUI())
      GetUI()->CreatePopupMenu(*this, EditMenu(), IRECT(x, y, x, y), kNoValIdx);
    return;
  }
  if (mod.L)
  {
    mMouseIsDown = true;
    stb_textedit_click(this, &mEditState, x - GetTextLeft(), y - LineTop());
    SetDirty(true);
  }
}

void ITextEntryControl::OnMouseUp(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  mMouseIsDown = false;
}

void ITextEntryControl::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  (void)dX, (void)dY;
  if (!mEditing || !mMouseIsDown || !mod.L)
    return;
  stb_textedit_drag(this, &mEditState, x - GetTextLeft(), y - LineTop());
  SetDirty(true);
}

void ITextEntryControl::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  if (mEditing)
    SelectAll();
}

void ITextEntryControl::OnPopupMenuSelection(IPopupMenu* pSelectedMenu, int valIdx)
{
  (void)valIdx;
  if (!pSelectedMenu || !mEditing)
    return;
  switch (pSelectedMenu->GetChosenItemIdx())
  {
  case 0:
    Cut();
    break;
  case 1:
    CopySelection();
    break;
  case 2:
    Paste();
    break;
  default:
    break;
  }
}

// --- drawing --------------------------------------------------------------------------------------

void ITextEntryControl::Draw(IGraphics& g)
{
  if (!mEditing)
    return;
  g.FillRect(mText.mTextEntryBGColor, mRECT);
  const int start = GetSelectionStart(), end = GetSelectionEnd();
  if (start != end)
  {
    const float pad = 0.1f * mText.mSize;
    const IBlend selection(EBlend::kDefault, 0.2f);
    g.FillRect(mText.mTextEntryFGColor, IRECT(GetCharX(start), LineTop() - pad, GetCharX(end), LineBottom() + pad),
               &selection);
  }
  g.DrawText(mText, mUTF8.c_str(), mRECT);
  if (mDrawCursor && start == end)
  {
    const float x = std::round(GetCharX(mEditState.cursor));
    g.FillRect(mText.mTextEntryFGColor, IRECT(x, std::round(LineTop()), x + 1.f, std::round(LineBottom())));
  }
}

} // namespace iplug::igraphics
