#include "IGraphicsEditorDelegate.h"

#include "IGraphics.h"
#include "IPlugByteChunk.h"

#include <cmath>

namespace iplug
{
namespace igraphics
{

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate()
{
  if (mGraphics)
  {
    IGraphics* graphics = mGraphics;
    mGraphics = nullptr;
    graphics->CloseWindow();
    delete graphics;
  }
}

bool IGEditorDelegate::HasUsableSize(int width, int height, float scale) const
{
  // A scale read from a damaged state may be NaN or infinite: never hand that to the editor.
  return width != 0 && height != 0 && scale != 0.f && std::isfinite(scale);
}

void* IGEditorDelegate::OpenWindow(void* parent)
{
  (void)parent;
  if (!mGraphics)
  {
    mGraphics = CreateGraphics();
    if (mGraphics && HasUsableSize(mLastWidth, mLastHeight, mLastScale))
      mGraphics->Resize(mLastWidth, mLastHeight, mLastScale, true);
  }
  if (!mGraphics)
    return nullptr;
  return mGraphics->OpenWindow(parent);
}

void IGEditorDelegate::CloseWindow()
{
  // Removing the platform view calls back in here; the outer call finishes the close.
  if (mClosing)
    return;
  mClosing = true;
  OnUIClose();
  if (mGraphics)
  {
    mLastWidth = mGraphics->Width();
    mLastHeight = mGraphics->Height();
    mLastScale = mGraphics->GetDrawScale();
    mGraphics->CloseWindow();
    delete mGraphics;
    mGraphics = nullptr;
  }
  mClosing = false;
}

int IGEditorDelegate::GetMaxWindowPixels() const
{
  if (mGraphics)
    mLastMaxWindowPixels = mGraphics->GetMaxWindowPixels();
  return mLastMaxWindowPixels;
}

void IGEditorDelegate::SetScreenScale(float scale)
{
  if (mGraphics)
    mGraphics->SetScreenScale(scale);
}

bool IGEditorDelegate::OnKeyDown(const IKeyPress& key)
{
  if (!mGraphics)
    return false;
  float x = 0.f;
  float y = 0.f;
  mGraphics->GetMouseLocation(x, y);
  return mGraphics->OnKeyDown(x, y, key);
}

bool IGEditorDelegate::OnKeyUp(const IKeyPress& key)
{
  if (!mGraphics)
    return false;
  float x = 0.f;
  float y = 0.f;
  mGraphics->GetMouseLocation(x, y);
  return mGraphics->OnKeyUp(x, y, key);
}

void IGEditorDelegate::SendControlValueFromDelegate(int ctrlTag, double normalizedValue)
{
  if (!mGraphics)
    return;
  if (IControl* control = mGraphics->GetControlWithTag(ctrlTag))
    control->SetValueFromDelegate(normalizedValue, 0);
}

void IGEditorDelegate::SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data)
{
  if (!mGraphics)
    return;
  if (IControl* control = mGraphics->GetControlWithTag(ctrlTag))
    control->OnMsgFromDelegate(msgTag, dataSize, data);
}

void IGEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value, bool normalized)
{
  if (mGraphics)
  {
    const IParam* param = GetParam(paramIdx);
    if (param && !normalized)
      value = param->ToNormalized(value);
    mGraphics->ForControlWithParam(paramIdx,
                                   [paramIdx, value](IControl* control)
                                   {
                                     for (int v = 0; v < control->NVals(); v++)
                                       if (control->GetParamIdx(v) == paramIdx)
                                         control->SetValueFromDelegate(value, v);
                                   });
  }
  OnParamChangeUI(paramIdx, kDelegate);
}

void IGEditorDelegate::SendMidiMsgFromDelegate(const IMidiMsg& msg)
{
  if (mGraphics)
  {
    mGraphics->ForAllControlsFunc(
        [&msg](IControl* control)
        {
          if (control->GetWantsMidi())
            control->OnMidi(msg);
        });
  }
  OnMidiMsgUI(msg);
}

bool IGEditorDelegate::SerializeEditorState(IByteChunk& chunk) const
{
  int width = mLastWidth;
  int height = mLastHeight;
  float scale = mLastScale;
  if (mGraphics)
  {
    width = mGraphics->Width();
    height = mGraphics->Height();
    scale = mGraphics->GetDrawScale();
  }
  chunk.Put(&width);
  chunk.Put(&height);
  chunk.Put(&scale);
  return true;
}

int IGEditorDelegate::UnserializeEditorState(const IByteChunk& chunk, int startPos)
{
  int width = 0;
  int height = 0;
  float scale = 0.f;
  int pos = chunk.Get(&width, startPos);
  pos = chunk.Get(&height, pos);
  pos = chunk.Get(&scale, pos);

  if (mGraphics)
  {
    if (HasUsableSize(width, height, scale))
      mGraphics->Resize(width, height, scale, true);
  }
  else
  {
    mLastWidth = width;
    mLastHeight = height;
    mLastScale = scale;
  }
  return pos;
}

IGraphics* IGEditorDelegate::CreateGraphics() { return mMakeGraphicsFunc ? mMakeGraphicsFunc() : nullptr; }

void IGEditorDelegate::LayoutUI(IGraphics* graphics)
{
  if (mLayoutFunc)
    mLayoutFunc(graphics);
}

bool IGEditorDelegate::PopupHostContextMenuForParam(int paramIdx, const IPopupMenu& menu,
                                                    Steinberg::Vst::IContextMenuTarget* target, int x, int y)
{
  (void)paramIdx, (void)menu, (void)target, (void)x, (void)y;
  return false;
}

} // namespace igraphics
} // namespace iplug
