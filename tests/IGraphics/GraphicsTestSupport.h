#pragma once
// A graphics context without a window that records what it is asked to do, a delegate that records what the
// editor tells the plug-in, and small controls that record their events. Everything logs into one list so
// tests can check the order of calls across objects.

#include "IControl.h"
#include "IGraphics.h"
#include "IGraphicsEditorDelegate.h"

#include <cstdio>
#include <string>
#include <vector>

namespace gfxtest
{

using namespace iplug;
using namespace iplug::igraphics;

using Log = std::vector<std::string>;

inline std::string Str(const IRECT& r)
{
  char buf[96];
  std::snprintf(buf, sizeof(buf), "(%g,%g,%g,%g)", r.L, r.T, r.R, r.B);
  return buf;
}

class TestDelegate : public IGEditorDelegate
{
public:
  explicit TestDelegate(Log& log, int nParams = 4) : IGEditorDelegate(nParams), mLog(log) {}

  void BeginInformHostOfParamChangeFromUI(int paramIdx) override
  {
    mLog.push_back("begin " + std::to_string(paramIdx));
  }
  void EndInformHostOfParamChangeFromUI(int paramIdx) override { mLog.push_back("end " + std::to_string(paramIdx)); }
  void SendParameterValueFromUI(int paramIdx, double normalizedValue) override
  {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "send %d %.4f", paramIdx, normalizedValue);
    mLog.push_back(buf);
    IGEditorDelegate::SendParameterValueFromUI(paramIdx, normalizedValue);
  }
  bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize) override
  {
    mLog.push_back("editor resize " + std::to_string(viewWidth) + "x" + std::to_string(viewHeight) +
                   (needsPlatformResize ? " platform" : ""));
    return mResizeAccepted;
  }
  bool PopupHostContextMenuForParam(int paramIdx, const IPopupMenu& menu, Steinberg::Vst::IContextMenuTarget* target,
                                    int x, int y) override
  {
    if (!mHostHasContextMenu)
      return false;
    mLog.push_back("host menu " + std::to_string(paramIdx) + " at " + std::to_string(x) + "," + std::to_string(y) +
                   " items " + std::to_string(menu.NItems()));
    mMenuTarget = target;
    return true;
  }

  /** Makes g the open editor without the delegate owning it (DetachUI before either goes). */
  void AttachUI(IGraphics* g) { mGraphics = g; }
  void DetachUI() { mGraphics = nullptr; }

  bool mResizeAccepted = true;
  bool mHostHasContextMenu = true;
  Steinberg::Vst::IContextMenuTarget* mMenuTarget = nullptr;

private:
  Log& mLog;
};

/** Backend bitmap that tells when it is deleted. */
class TestAPIBitmap : public APIBitmap
{
public:
  TestAPIBitmap(int w, int h, int scale, float drawScale, int* deletions = nullptr)
      : APIBitmap(this, w, h, scale, drawScale), mDeletions(deletions)
  {
  }
  ~TestAPIBitmap() override
  {
    if (mDeletions)
      (*mDeletions)++;
  }

private:
  int* mDeletions;
};

class TestGraphics : public IGraphics
{
public:
  TestGraphics(TestDelegate& dlg, Log& log, int w = 200, int h = 100, float scale = 1.f)
      : IGraphics(dlg, w, h, 60, scale), mLog(log)
  {
  }

  // Drawing: only what tests look at is recorded.
  void BeginFrame() override
  {
    IGraphics::BeginFrame();
    mLog.push_back("begin frame");
  }
  void EndFrame() override { mLog.push_back("end frame"); }
  void DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int srcX, int srcY, const IBlend*) override
  {
    mLog.push_back("bitmap " + std::string(bitmap.GetResourceName().Get()) + " " + Str(bounds) + " src " +
                   std::to_string(srcX) + "," + std::to_string(srcY));
  }
  IColor GetPoint(int, int) override { return COLOR_BLACK; }
  void* GetDrawContext() override { return nullptr; }
  const char* GetDrawingAPIStr() override { return "Test"; }
  bool BitmapExtSupported(const char* ext) override { return std::string(ext) == "png"; }
  void PathClear() override {}
  void PathClose() override {}
  void PathArc(float, float, float, float, float, EWinding) override {}
  void PathMoveTo(float, float) override {}
  void PathLineTo(float, float) override {}
  void PathCubicBezierTo(float, float, float, float, float, float) override {}
  void PathQuadraticBezierTo(float, float, float, float) override {}
  void PathStroke(const IPattern&, float, const IStrokeOptions&, const IBlend*) override {}
  void PathFill(const IPattern&, const IFillOptions&, const IBlend*) override {}
  void PathTransformSetMatrix(const IMatrix&) override {}
  void SetClipRegion(const IRECT&) override {}
  float DoMeasureText(const IText&, const char* str, IRECT& bounds) const override
  {
    // 6 units per character, 14 high, from the bounds' top-left corner.
    const float w = 6.f * static_cast<float>(std::strlen(str));
    bounds = IRECT(bounds.L, bounds.T, bounds.L + w, bounds.T + 14.f);
    return w;
  }
  void DoDrawText(const IText&, const char* str, const IRECT&, const IBlend*) override
  {
    mLog.push_back(std::string("text ") + str);
  }

  // Platform requests.
  void GetMouseLocation(float& x, float& y) const override
  {
    x = mMouseX;
    y = mMouseY;
  }
  void HideMouseCursor(bool hide, bool lock) override
  {
    mLog.push_back(std::string(hide ? "hide cursor" : "show cursor") + (lock ? " locked" : ""));
    mCursorHidden = hide;
    mCursorLock = hide && lock;
  }
  void MoveMouseCursor(float, float) override {}
  ECursor SetMouseCursor(ECursor cursorType) override
  {
    mLog.push_back("cursor " + std::to_string(static_cast<int>(cursorType)));
    return IGraphics::SetMouseCursor(cursorType);
  }
  void ForceEndUserEdit() override {}
  void* OpenWindow(void*) override
  {
    mLog.push_back("open window");
    mOpen = true;
    return this;
  }
  void CloseWindow() override
  {
    mLog.push_back("close window");
    mOpen = false;
  }
  void* GetWindow() override { return mOpen ? this : nullptr; }
  bool GetTextFromClipboard(WDL_String& str) override
  {
    str.Set(mClipboard.c_str());
    return !mClipboard.empty();
  }
  bool SetTextInClipboard(const char* str) override
  {
    mClipboard = str ? str : "";
    return true;
  }
  void UpdateTooltips() override {}
  EMsgBoxResult ShowMessageBox(const char*, const char*, EMsgBoxType, IMsgBoxCompletionHandlerFunc) override
  {
    return EMsgBoxResult::kNoResult;
  }
  void PromptForFile(WDL_String&, WDL_String&, EFileAction, const char*, IFileDialogCompletionHandlerFunc) override {}
  void PromptForDirectory(WDL_String&, IFileDialogCompletionHandlerFunc) override {}
  bool PromptForColor(IColor&, const char*, IColorPickerHandlerFunc) override { return false; }
  bool OpenURL(const char*, const char*, const char*, const char*) override { return false; }
  PlatformFontPtr LoadPlatformFont(const char*, const char*) override { return nullptr; }
  PlatformFontPtr LoadPlatformFont(const char*, void*, int) override { return nullptr; }
  PlatformFontPtr LoadPlatformFont(const char*, const char*, ETextStyle) override { return nullptr; }
  void CachePlatformFont(const char*, const PlatformFontPtr&) override {}
  void CreatePlatformTextEntry(int paramIdx, const IText&, const IRECT& bounds, int length, const char* str) override
  {
    mLog.push_back("text entry " + std::to_string(paramIdx) + " " + Str(bounds) + " len " + std::to_string(length) +
                   " '" + str + "'");
  }
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync) override
  {
    std::string items;
    for (int i = 0; i < menu.NItems(); i++)
      items += std::string(i ? "|" : "") + (menu.IsItemChecked(i) ? "*" : "") + menu.GetItemText(i);
    mLog.push_back("menu '" + std::string(menu.GetRootTitle()) + "' " + items + " " + Str(bounds));
    isAsync = mAsyncMenus;
    if (mAsyncMenus)
      return nullptr;
    menu.SetChosenItemIdx(mMenuChoice);
    return mMenuChoice >= 0 ? &menu : nullptr;
  }
  void PlatformResize(bool parentHasResized) override
  {
    mLog.push_back(std::string("platform resize") + (parentHasResized ? " ok" : " refused"));
  }
  void DrawResize() override { mLog.push_back("draw resize"); }
  APIBitmap* LoadAPIBitmap(const char*, int scale, EResourceLocation, const char*) override
  {
    return new TestAPIBitmap(100 * scale, 50 * scale, scale, 1.f);
  }
  APIBitmap* LoadAPIBitmap(const char*, const void*, int, int scale) override
  {
    return new TestAPIBitmap(100 * scale, 50 * scale, scale, 1.f);
  }
  APIBitmap* CreateAPIBitmap(int width, int height, int scale, double drawScale, bool) override
  {
    return new TestAPIBitmap(width, height, scale, static_cast<float>(drawScale));
  }
  bool LoadAPIFont(const char*, const PlatformFontPtr&) override { return false; }
  int AlphaChannel() const override { return 3; }
  bool FlippedBitmap() const override { return false; }

  int mMenuChoice = -1;
  bool mAsyncMenus = false;
  std::string mClipboard;
  float mMouseX = 0.f;
  float mMouseY = 0.f;

private:
  Log& mLog;
  bool mOpen = false;
};

/** A plain control that logs its events and where it is drawn. */
class TestControl : public IControl
{
public:
  TestControl(Log& log, const char* name, const IRECT& bounds, int paramIdx = kNoParameter)
      : IControl(bounds, paramIdx), mLog(log), mName(name)
  {
  }
  TestControl(Log& log, const char* name, const IRECT& bounds, const std::initializer_list<int>& params)
      : IControl(bounds, params), mLog(log), mName(name)
  {
  }

  void Draw(IGraphics& g) override { mLog.push_back("draw " + mName + " " + Str(g.GetClipRect())); }
  void OnMouseDown(float x, float y, const IMouseMod& mod) override
  {
    mLog.push_back("down " + mName);
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float, float, const IMouseMod&) override { mLog.push_back("up " + mName); }
  void OnMouseDrag(float, float, float dX, float dY, const IMouseMod&) override
  {
    mLog.push_back("drag " + mName + " " + std::to_string(static_cast<int>(dX)) + "," +
                   std::to_string(static_cast<int>(dY)));
  }
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override
  {
    mLog.push_back("dblclick " + mName);
    IControl::OnMouseDblClick(x, y, mod);
  }
  void OnMouseWheel(float, float, const IMouseMod&, float d) override
  {
    mLog.push_back("wheel " + mName + " " + std::to_string(static_cast<int>(d)));
  }
  void OnMouseOver(float x, float y, const IMouseMod& mod) override
  {
    if (!GetMouseIsOver())
      mLog.push_back("over " + mName);
    IControl::OnMouseOver(x, y, mod);
  }
  void OnMouseOut() override
  {
    if (GetMouseIsOver())
      mLog.push_back("out " + mName);
    IControl::OnMouseOut();
  }
  bool OnKeyDown(float, float, const IKeyPress& key) override
  {
    mLog.push_back("key " + mName + " " + std::to_string(key.VK));
    return mHandlesKeys;
  }
  void OnRescale() override { mRescales++; }
  void OnResize() override { mResizes++; }
  void OnPopupMenuSelection(IPopupMenu* pMenu, int valIdx) override
  {
    mLog.push_back("popup selection " + mName + (pMenu ? " " + std::to_string(pMenu->GetChosenItemIdx()) : " none"));
    IControl::OnPopupMenuSelection(pMenu, valIdx);
  }
  void OnTextEntryCompletion(const char* str, int valIdx) override
  {
    mLog.push_back("text completion " + mName + " '" + str + "' " + std::to_string(valIdx));
  }
  void OnContextSelection(int item) override
  {
    mLog.push_back("context selection " + mName + " " + std::to_string(item));
  }
  void CreateContextMenu(IPopupMenu& menu) override
  {
    for (const std::string& item : mContextItems)
      menu.AddItem(item.c_str());
  }

  bool mHandlesKeys = false;
  int mRescales = 0;
  int mResizes = 0;
  std::vector<std::string> mContextItems;

private:
  Log& mLog;
  std::string mName;
};

/** A knob base that logs where it is drawn. */
class TestKnob : public IKnobControlBase
{
public:
  TestKnob(Log& log, const IRECT& bounds, int paramIdx, double gearing = 4.0)
      : IKnobControlBase(bounds, paramIdx, EDirection::kVertical, gearing), mLog(log)
  {
  }
  void Draw(IGraphics&) override { mLog.push_back("draw knob"); }
  void OnMouseDown(float x, float y, const IMouseMod& mod) override
  {
    mLog.push_back("down knob");
    IKnobControlBase::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float x, float y, const IMouseMod& mod) override
  {
    mLog.push_back("up knob");
    IKnobControlBase::OnMouseUp(x, y, mod);
  }

private:
  Log& mLog;
};

class TestSwitch : public ISwitchControlBase
{
public:
  TestSwitch(const IRECT& bounds, int paramIdx, int numStates = 2)
      : ISwitchControlBase(bounds, paramIdx, nullptr, numStates)
  {
  }
  void Draw(IGraphics&) override {}
};

/** One pointer sample as a platform view would send it. */
inline std::vector<IMouseInfo> Point(float x, float y, const IMouseMod& mod = IMouseMod(true), float dX = 0.f,
                                     float dY = 0.f)
{
  IMouseInfo info;
  info.x = x;
  info.y = y;
  info.dX = dX;
  info.dY = dY;
  info.ms = mod;
  return {info};
}

/** Drives animations by hand: every control reads this clock while the object lives. */
class FakeClock
{
public:
  explicit FakeClock(double startMs = 1000.0)
  {
    Now() = startMs;
    SetMonotonicClock([] { return Now(); });
  }
  ~FakeClock() { SetMonotonicClock(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;
  void Advance(double ms) { Now() += ms; }

private:
  static double& Now()
  {
    static double sNow = 0.0;
    return sNow;
  }
};

/** Entries of the log that start with prefix. */
inline Log Filter(const Log& log, const std::string& prefix)
{
  Log out;
  for (const std::string& entry : log)
    if (entry.rfind(prefix, 0) == 0)
      out.push_back(entry);
  return out;
}

} // namespace gfxtest
