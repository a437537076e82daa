#pragma once
// Editor delegate for editors drawn by the graphics layer: owns the graphics context while the editor is
// open, and remembers the editor's size and draw scale while it is closed so they survive in the state.

#include "IGraphicsConstants.h"
#include "IPlugEditorDelegate.h"

#include <functional>

namespace Steinberg::Vst
{
class IContextMenuTarget;
}

namespace iplug
{
namespace igraphics
{

class IGraphics;
class IPopupMenu;

class IGEditorDelegate : public IEditorDelegate
{
public:
  /** Size of the editor state record: int32 width, int32 height, float32 draw scale. */
  static constexpr int kEditorStateSize = 12;

  explicit IGEditorDelegate(int nParams);
  ~IGEditorDelegate() override;

  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void SetScreenScale(float scale) override;
  /** The open editor's limit (its GPU's included); the last one known while closed. */
  int GetMaxWindowPixels() const override;
  bool OnKeyDown(const IKeyPress& key) override;
  bool OnKeyUp(const IKeyPress& key) override;
  void SendControlValueFromDelegate(int ctrlTag, double normalizedValue) override;
  void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize = 0, const void* data = nullptr) override;
  void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;
  void SendMidiMsgFromDelegate(const IMidiMsg& msg) override;
  bool SerializeEditorState(IByteChunk& chunk) const override;
  /** Reads the 12-byte record at startPos; returns startPos + 12, or -1 when it is cut short (the fields that
   * are missing read as 0 and are still taken). */
  int UnserializeEditorState(const IByteChunk& chunk, int startPos) override;

  /** Builds the graphics context through mMakeGraphicsFunc; null when none is set. */
  virtual IGraphics* CreateGraphics();
  /** Lays the editor out through mLayoutFunc, when set. */
  virtual void LayoutUI(IGraphics* graphics);
  /** Shows the host's context menu for paramIdx at (x, y) in view pixels, with the control's own items from
   *  menu appended; choosing one of those calls target->executeMenuItem(item index). The host binding supplies
   *  the menu; without one nothing happens. Returns whether the host showed a menu. */
  virtual bool PopupHostContextMenuForParam(int paramIdx, const IPopupMenu& menu,
                                            Steinberg::Vst::IContextMenuTarget* target, int x, int y);

  bool SerializeEditorSize(IByteChunk& chunk) const { return SerializeEditorState(chunk); }
  int UnserializeEditorSize(const IByteChunk& chunk, int startPos) { return UnserializeEditorState(chunk, startPos); }

  /** The open editor's graphics context, or null while closed. */
  IGraphics* GetUI() const { return mGraphics; }
  int GetLastWidth() const { return mLastWidth; }
  int GetLastHeight() const { return mLastHeight; }
  float GetLastScale() const { return mLastScale; }

  std::function<IGraphics*()> mMakeGraphicsFunc = nullptr;
  std::function<void(IGraphics*)> mLayoutFunc = nullptr;

protected:
  /** Whether a remembered size and scale can be applied to an editor. */
  bool HasUsableSize(int width, int height, float scale) const;

  IGraphics* mGraphics = nullptr; // owned while the editor is open
  int mLastWidth = 0;
  int mLastHeight = 0;
  float mLastScale = 0.f;
  mutable int mLastMaxWindowPixels = kDefaultMaxWindowPixels;
  bool mClosing = false;
};

} // namespace igraphics
} // namespace iplug
