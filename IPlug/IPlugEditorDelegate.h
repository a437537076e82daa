#pragma once
// The editor-facing side of a plug-in: the parameter table, the editor size and its limits, and the
// messages that travel between the editor and the plug-in. The defaults here let a delegate work without a
// host; the API base overrides the operations that must reach the host.

#include "IPlugConstants.h"
#include "IPlugParameter.h"
#include "ptrlist.h"

namespace iplug
{

namespace igraphics
{
struct IKeyPress;
} // namespace igraphics

struct IMidiMsg;
struct ISysEx;
class IByteChunk;

class IEditorDelegate
{
public:
  /** Creates nParams default parameters, in index order. */
  explicit IEditorDelegate(int nParams);
  virtual ~IEditorDelegate();

  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  // --- parameter table ---
  int NParams() const { return mParams.GetSize(); }
  /** The parameter at idx, or null outside [0, NParams()). */
  IParam* GetParam(int idx) const { return mParams.Get(idx); }

  // --- editor size ---
  void SetEditorSize(int width, int height)
  {
    mEditorWidth = width;
    mEditorHeight = height;
  }
  /** Stores the limits, each pair ordered so that minimum <= maximum. */
  void SetSizeConstraints(int minWidth, int maxWidth, int minHeight, int maxHeight);
  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }
  int GetMinWidth() const { return mMinWidth; }
  int GetMaxWidth() const { return mMaxWidth; }
  int GetMinHeight() const { return mMinHeight; }
  int GetMaxHeight() const { return mMaxHeight; }
  /** The largest window side in host pixels the editor can be given (window systems keep 16-bit sizes). */
  virtual int GetMaxWindowPixels() const { return 32767; }

  // --- editor lifecycle ---
  /** Returns the platform view, or null. The default has no view: it only calls OnUIOpen. */
  virtual void* OpenWindow(void* parent);
  virtual void CloseWindow();
  virtual void OnParentWindowResize(int width, int height);
  /** Pushes every parameter's value into the editor. */
  virtual void OnUIOpen();
  virtual void OnUIClose();

  // --- changes arriving at the plug-in ---
  virtual void OnParamChange(int paramIdx, EParamSource source, int sampleOffset = -1);
  virtual void OnParamChange(int paramIdx);
  virtual void OnParamChangeUI(int paramIdx, EParamSource source = kUnknown);
  /** Announces every parameter, in index order, to both change hooks. */
  virtual void OnParamReset(EParamSource source);
  virtual void OnMidiMsgUI(const IMidiMsg& msg);
  virtual void OnSysexMsgUI(const ISysEx& msg);
  virtual bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void* data);
  /** Pushes every parameter's value into the editor after a state was loaded. */
  virtual void OnRestoreState();
  virtual bool OnKeyDown(const igraphics::IKeyPress& key);
  virtual bool OnKeyUp(const igraphics::IKeyPress& key);

  // --- plug-in to editor ---
  virtual void SendControlValueFromDelegate(int ctrlTag, double normalizedValue);
  virtual void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize = 0, const void* data = nullptr);
  virtual void SendArbitraryMsgFromDelegate(int msgTag, int dataSize = 0, const void* data = nullptr);
  virtual void SendMidiMsgFromDelegate(const IMidiMsg& msg);
  virtual void SendSysexMsgFromDelegate(const ISysEx& msg);
  virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized);

  // --- editor to plug-in and host (the API base connects these to the host) ---
  virtual void DirtyParametersFromUI();
  virtual void BeginInformHostOfParamChangeFromUI(int paramIdx);
  /** Without a host: sets the parameter and tells the plug-in's UI hook. */
  virtual void SendParameterValueFromUI(int paramIdx, double normalizedValue);
  virtual void EndInformHostOfParamChangeFromUI(int paramIdx);
  /** Returns whether the host accepted the new size; without a host nothing can be resized. */
  virtual bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize);
  virtual void SendMidiMsgFromUI(const IMidiMsg& msg);
  virtual void SendSysexMsgFromUI(const ISysEx& msg);
  virtual void SendArbitraryMsgFromUI(int msgTag, int ctrlTag = -1, int dataSize = 0, const void* data = nullptr);
  virtual void DeferMidiMsg(const IMidiMsg& msg);
  virtual void DeferSysexMsg(const ISysEx& msg);

  // --- editor state (size and scale) ---
  virtual bool SerializeEditorState(IByteChunk& chunk) const;
  /** Returns the position after the editor state, or -1. The default stores nothing. */
  virtual int UnserializeEditorState(const IByteChunk& chunk, int startPos);
  virtual void SetScreenScale(float scale);

protected:
  WDL_PtrList<IParam> mParams; // owns its entries

private:
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  int mMinWidth = kDefaultMinEditorWidth;
  int mMaxWidth = kDefaultMaxEditorWidth;
  int mMinHeight = kDefaultMinEditorHeight;
  int mMaxHeight = kDefaultMaxEditorHeight;
};

} // namespace iplug
