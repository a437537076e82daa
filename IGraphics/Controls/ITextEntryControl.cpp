#include "ITextEntryControl.h"

#include "IGraphics.h"
#include "IGraphicsEditorDelegate.h"
#include "IPlugParameter.h"

namespace iplug::igraphics
{

ITextEntryControl::ITextEntryControl() : IControl(IRECT()) {}

void ITextEntryControl::CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                        const char* str)
{
  mParamIdx = paramIdx;
  mMaxLength = length;
  SetTargetAndDrawRECTs(bounds);
  mText = text.WithFGColor(text.mTextEntryFGColor);
  mEditString.Set(str ? str : "");
  mAllSelected = true;
  mEditing = true;
  SetDirty(true);
}

void ITextEntryControl::EndEdit()
{
  mEditing = false;
  mAllSelected = false;
  SetTargetAndDrawRECTs(IRECT());
}

void ITextEntryControl::CommitEdit()
{
  if (!mEditing)
    return;
  const WDL_String text = mEditString;
  EndEdit();
  if (IGraphics* pGraphics = GetUI())
  {
    pGraphics->SetControlValueAfterTextEdit(text.Get());
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

bool ITextEntryControl::CharAccepted(const char* utf8) const
{
  const IParam* pParam = (GetDelegate() && mParamIdx >= 0) ? GetDelegate()->GetParam(mParamIdx) : nullptr;
  if (!pParam)
    return true;
  if (utf8[1] != '\0')
    return false;
  const char c = utf8[0];
  if ((c >= '0' && c <= '9') || c == '+' || c == '-')
    return true;
  return c == '.' && pParam->Type() == IParam::kTypeDouble;
}

bool ITextEntryControl::OnKeyDown(float x, float y, const IKeyPress& key)
{
  (void)x, (void)y;
  if (!mEditing)
    return false;
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
    if (mAllSelected)
      mEditString.Set("");
    else if (mEditString.GetLength())
    {
      // Drop the last UTF-8 sequence.
      int len = mEditString.GetLength() - 1;
      while (len > 0 && (static_cast<unsigned char>(mEditString.Get()[len]) & 0xC0) == 0x80)
        len--;
      mEditString.SetLen(len);
    }
    mAllSelected = false;
    SetDirty(false);
    return true;
  default:
    break;
  }
  if (key.C && (key.VK == kVK_A))
  {
    mAllSelected = true;
    SetDirty(false);
    return true;
  }
  if (!key.utf8[0] || static_cast<unsigned char>(key.utf8[0]) < 0x20 || !CharAccepted(key.utf8))
    return false;
  if (mAllSelected)
    mEditString.Set("");
  mAllSelected = false;
  if (mMaxLength > 0 && mEditString.GetLength() >= mMaxLength)
    return true;
  mEditString.Append(key.utf8);
  SetDirty(false);
  return true;
}

void ITextEntryControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  (void)mod;
  // A click outside the field ends the edit and keeps what was typed.
  if (!mRECT.Contains(x, y))
  {
    CommitEdit();
    return;
  }
  mAllSelected = false;
  SetDirty(false);
}

void ITextEntryControl::Draw(IGraphics& g)
{
  if (!mEditing)
    return;
  g.FillRect(mText.mTextEntryBGColor, mRECT);
  if (mAllSelected && mEditString.GetLength())
  {
    IRECT textBounds = mRECT;
    g.MeasureText(mText, mEditString.Get(), textBounds);
    const IBlend selection(EBlend::kDefault, 0.2f);
    g.FillRect(mText.mTextEntryFGColor, textBounds.GetPadded(0.f, -0.1f * mText.mSize, 0.f, 0.1f * mText.mSize),
               &selection);
  }
  g.DrawText(mText, mEditString.Get(), mRECT);
}

} // namespace iplug::igraphics
