#include "IGraphicsEditorDelegate.h"

#include "IPlugByteChunk.h"

#include <cmath>

// The branches marked "open editor" run only while a graphics context exists. The graphics core supplies
// IGraphics; until it is linked in here those branches hold the call path and nothing else.

namespace iplug
{
namespace igraphics
{

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate()
{
  if (mGraphics)
  {
    // Open editor: close its window and delete the context (graphics core).
    mGraphics = nullptr;
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
    {
      // Open editor: resize to the remembered size and scale with a platform resize (graphics core).
    }
  }
  if (!mGraphics)
    return nullptr;
  // Open editor: return the platform view that the context opens inside parent (graphics core).
  return nullptr;
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
    // Open editor: remember its width, height and draw scale, close its window and delete it (graphics core).
    mGraphics = nullptr;
  }
  mClosing = false;
}

void IGEditorDelegate::SetScreenScale(float scale)
{
  (void)scale;
  if (mGraphics)
  {
    // Open editor: forward the screen scale (graphics core).
  }
}

bool IGEditorDelegate::OnKeyDown(const IKeyPress& key)
{
  (void)key;
  if (mGraphics)
  {
    // Open editor: pass the key with the current mouse position to its key handler (graphics core).
  }
  return false;
}

bool IGEditorDelegate::OnKeyUp(const IKeyPress& key)
{
  (void)key;
  if (mGraphics)
  {
    // Open editor: pass the key with the current mouse position to its key handler (graphics core).
  }
  return false;
}

void IGEditorDelegate::SendControlValueFromDelegate(int ctrlTag, double normalizedValue)
{
  (void)ctrlTag;
  (void)normalizedValue;
  if (mGraphics)
  {
    // Open editor: the control with ctrlTag, if any, takes the value as from the delegate (graphics core).
  }
}

void IGEditorDelegate::SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data)
{
  (void)ctrlTag;
  (void)msgTag;
  (void)dataSize;
  (void)data;
  if (mGraphics)
  {
    // Open editor: the control with ctrlTag, if any, receives the message (graphics core).
  }
}

void IGEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value, bool normalized)
{
  if (mGraphics)
  {
    const IParam* param = GetParam(paramIdx);
    if (param && !normalized)
      value = param->ToNormalized(value);
    // Open editor: every control value linked to paramIdx takes value as from the delegate (graphics core).
  }
  OnParamChangeUI(paramIdx, kDelegate);
}

void IGEditorDelegate::SendMidiMsgFromDelegate(const IMidiMsg& msg)
{
  if (mGraphics)
  {
    // Open editor: every control that wants MIDI receives msg (graphics core).
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
    // Open editor: take width, height and draw scale from the context (graphics core).
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
    {
      // Open editor: resize to width, height and scale with a platform resize (graphics core).
    }
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

} // namespace igraphics
} // namespace iplug
