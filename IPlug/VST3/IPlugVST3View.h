#pragma once
// The editor view a VST3 host embeds in its window: a thin adapter that forwards every call to the plug-in, which
// is the editor delegate and owns the graphics. It also draws the editor without a window (IPlugViewHeadless).

#include "IGraphicsConstants.h"
#include "IGraphicsStructs.h"
#include "IPlugViewHeadless.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace iplug
{

/** The platform window type the view accepts: an X11 window id to embed a child window in. */
inline constexpr const char* kPlatformTypeX11 = "X11EmbedWindowID";

/** Windows virtual-key code for a VST3 key code; ch is the key's character for codes 0 and 57. */
int VSTKeyCodeToVK(int keyCode, char ch);
/** The framework's key record for a VST3 key event. */
igraphics::IKeyPress TranslateKeyMessage(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers);

template <class Plug>
class IPlugVST3View : public Steinberg::CPluginView,
                      public Steinberg::IPlugViewContentScaleSupport,
                      public IPlugViewHeadless
{
public:
  using tresult = Steinberg::tresult;

  explicit IPlugVST3View(Plug& owner) : mOwner(owner) { mOwner.addRef(); }
  ~IPlugVST3View() override
  {
    // A host that lets go of the view without removed() leaves no editor behind.
    if (HoldsEditor())
      ReleaseEditor();
    mOwner.release();
  }

  tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override
  {
    return mOwner.HasUI() && type && std::strcmp(type, kPlatformTypeX11) == 0 ? Steinberg::kResultTrue
                                                                              : Steinberg::kResultFalse;
  }

  tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override
  {
    if (!parent || isPlatformTypeSupported(type) != Steinberg::kResultTrue)
      return Steinberg::kResultFalse;
    // One editor per instance: while another view shows it, this one opens nothing and disturbs nothing.
    if (mOwner.mView || isAttached())
      return Steinberg::kResultFalse;
    TakeEditor();
    if (!mOwner.OpenWindow(parent))
    {
      ReleaseEditor();
      return Steinberg::kResultFalse;
    }
    // Hosts often give the scale before the window exists, when there is no graphics context to take it.
    if (mScale != 1.f)
      mOwner.SetScreenScale(mScale);
    return CPluginView::attached(parent, type);
  }

  tresult PLUGIN_API removed() override
  {
    // A view that never showed the editor (or lost the race to show it) has nothing to close.
    if (!HoldsEditor())
      return Steinberg::kResultFalse;
    ReleaseEditor();
    mHeadless = false;
    return CPluginView::removed();
  }

  tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override
  {
    if (!mOwner.HasUI() || !size)
      return Steinberg::kResultFalse;
    *size = Steinberg::ViewRect(0, 0, mOwner.GetEditorWidth(), mOwner.GetEditorHeight());
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override
  {
    if (newSize)
    {
      rect = *newSize;
      if (HoldsEditor())
        mOwner.OnParentWindowResize(newSize->right - newSize->left, newSize->bottom - newSize->top);
    }
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API canResize() override
  {
    return mOwner.HasUI() && mOwner.GetHostResize() ? Steinberg::kResultTrue : Steinberg::kResultFalse;
  }

  tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* r) override
  {
    if (!r)
      return Steinberg::kResultFalse;
    // Host pixels: the editor's limits times the content scale, within what the window can hold. Rectangles come
    // from the host, so sizes are taken in 64 bits.
    const int64_t maxPixels = mOwner.GetMaxWindowPixels();
    auto scaled = [&](int size)
    { return std::min<int64_t>(std::llround(static_cast<double>(size) * mScale), maxPixels); };
    const int64_t maxW = scaled(mOwner.GetMaxWidth()), maxH = scaled(mOwner.GetMaxHeight());
    const int64_t minW = std::min(scaled(mOwner.GetMinWidth()), maxW),
                  minH = std::min(scaled(mOwner.GetMinHeight()), maxH);
    const int64_t w = std::clamp<int64_t>(int64_t(r->right) - r->left, minW, maxW);
    const int64_t h = std::clamp<int64_t>(int64_t(r->bottom) - r->top, minH, maxH);
    constexpr int64_t kCoordMax = std::numeric_limits<Steinberg::int32>::max();
    // A corner so far out that the size does not fit after it moves back.
    if (r->left > kCoordMax - w)
      r->left = static_cast<Steinberg::int32>(kCoordMax - w);
    if (r->top > kCoordMax - h)
      r->top = static_cast<Steinberg::int32>(kCoordMax - h);
    r->right = static_cast<Steinberg::int32>(r->left + w);
    r->bottom = static_cast<Steinberg::int32>(r->top + h);
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override
  {
    plugFrame = frame;
    if (HoldsEditor())
      TakeFrame();
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override
  {
    if (!(factor > 0.f) || !std::isfinite(factor))
      return Steinberg::kResultFalse;
    // No display is this small or this dense; beyond it the window would outgrow what X and the GPU can hold.
    mScale = std::clamp(static_cast<float>(factor), igraphics::kMinScreenScale, igraphics::kMaxScreenScale);
    if (HoldsEditor())
      mOwner.SetScreenScale(mScale);
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers) override
  {
    if (!HoldsEditor())
      return Steinberg::kResultFalse;
    return mOwner.OnKeyDown(TranslateKeyMessage(key, keyCode, modifiers)) ? Steinberg::kResultTrue
                                                                          : Steinberg::kResultFalse;
  }

  tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers) override
  {
    if (!HoldsEditor())
      return Steinberg::kResultFalse;
    return mOwner.OnKeyUp(TranslateKeyMessage(key, keyCode, modifiers)) ? Steinberg::kResultTrue
                                                                        : Steinberg::kResultFalse;
  }

  // --- IPlugViewHeadless
  tresult PLUGIN_API attachHeadless(float scale) override
  {
    if (!mOwner.HasUI() || isAttached() || mHeadless || mOwner.mView)
      return Steinberg::kResultFalse;
    TakeEditor();
    if (!mOwner.OpenHeadlessEditor(scale))
    {
      ReleaseEditor();
      return Steinberg::kResultFalse;
    }
    mHeadless = true;
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API drawFrame() override
  {
    return mHeadless && mOwner.DrawHeadlessFrame() ? Steinberg::kResultTrue : Steinberg::kResultFalse;
  }

  tresult PLUGIN_API writeFramePNG(const char* path) override
  {
    return mHeadless && mOwner.WriteHeadlessFramePNG(path) ? Steinberg::kResultTrue : Steinberg::kResultFalse;
  }

  tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, Steinberg::IPlugViewContentScaleSupport::iid, Steinberg::IPlugViewContentScaleSupport)
    QUERY_INTERFACE(iid, obj, IPlugViewHeadless::iid, IPlugViewHeadless)
    return CPluginView::queryInterface(iid, obj);
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return CPluginView::addRef(); }
  Steinberg::uint32 PLUGIN_API release() override { return CPluginView::release(); }

private:
  bool HoldsEditor() const { return mOwner.mView == this; }

  /** This view becomes the one the editor belongs to: its frame resizes the host window, its run loop ticks. */
  void TakeEditor()
  {
    mOwner.mView = this;
    TakeFrame();
  }

  void TakeFrame()
  {
    mOwner.SetViewFrame(plugFrame);
    // Linux hosts offer their UI run loop on the frame: the frame tick, X events and the framework timer run there.
    Steinberg::FUnknownPtr<Steinberg::Linux::IRunLoop> runLoop(plugFrame);
    mOwner.SetViewRunLoop(runLoop);
  }

  /** Closes the editor this view holds and hands the instance back to no view. */
  void ReleaseEditor()
  {
    if (mOwner.HasUI())
      mOwner.CloseWindow();
    mOwner.mView = nullptr;
    mOwner.SetViewFrame(nullptr);
    mOwner.SetViewRunLoop(nullptr);
  }

  Plug& mOwner;
  bool mHeadless = false;
  float mScale = 1.f;
};

} // namespace iplug
