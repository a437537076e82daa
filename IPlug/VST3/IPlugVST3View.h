#pragma once
// The editor view a VST3 host embeds in its window: a thin adapter that forwards every call to the plug-in, which
// is the editor delegate and owns the graphics. It also draws the editor without a window (IPlugViewHeadless).

#include "IGraphicsStructs.h"
#include "IPlugViewHeadless.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

#include <cmath>
#include <cstring>

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
    if (mOwner.mView == this)
    {
      mOwner.mView = nullptr;
      mOwner.SetViewFrame(nullptr);
      mOwner.SetViewRunLoop(nullptr);
    }
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
    mOwner.SetViewFrame(plugFrame);
    if (!mOwner.OpenWindow(parent))
      return Steinberg::kResultFalse;
    // Hosts often give the scale before the window exists, when there is no graphics context to take it.
    if (mScale != 1.f)
      mOwner.SetScreenScale(mScale);
    return CPluginView::attached(parent, type);
  }

  tresult PLUGIN_API removed() override
  {
    if (mOwner.HasUI())
      mOwner.CloseWindow();
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
    const int w = r->right - r->left;
    const int h = r->bottom - r->top;
    if (w < mOwner.GetMinWidth() || w > mOwner.GetMaxWidth() || h < mOwner.GetMinHeight() || h > mOwner.GetMaxHeight())
    {
      r->right = r->left + std::clamp(w, mOwner.GetMinWidth(), mOwner.GetMaxWidth());
      r->bottom = r->top + std::clamp(h, mOwner.GetMinHeight(), mOwner.GetMaxHeight());
    }
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override
  {
    plugFrame = frame;
    mOwner.SetViewFrame(frame);
    // Linux hosts offer their UI run loop on the frame: the frame tick, X events and the framework timer run there.
    Steinberg::FUnknownPtr<Steinberg::Linux::IRunLoop> runLoop(frame);
    mOwner.SetViewRunLoop(runLoop);
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override
  {
    if (factor > 0.f && std::isfinite(factor))
      mScale = factor;
    mOwner.SetScreenScale(factor);
    return Steinberg::kResultTrue;
  }

  tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers) override
  {
    return mOwner.OnKeyDown(TranslateKeyMessage(key, keyCode, modifiers)) ? Steinberg::kResultTrue
                                                                          : Steinberg::kResultFalse;
  }

  tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers) override
  {
    return mOwner.OnKeyUp(TranslateKeyMessage(key, keyCode, modifiers)) ? Steinberg::kResultTrue
                                                                        : Steinberg::kResultFalse;
  }

  // --- IPlugViewHeadless
  tresult PLUGIN_API attachHeadless(float scale) override
  {
    if (!mOwner.HasUI() || isAttached() || mHeadless)
      return Steinberg::kResultFalse;
    mOwner.SetScreenScale(scale);
    if (!mOwner.OpenHeadlessEditor(scale))
      return Steinberg::kResultFalse;
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
  Plug& mOwner;
  bool mHeadless = false;
  float mScale = 1.f;
};

} // namespace iplug
