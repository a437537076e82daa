#include "LV2Editor.h"

#include "HostEditor.h"
#include "IPlugLV2_HeadlessEditor.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace brevant::host
{

namespace
{
// This framework's UIs open without a window when asked with this feature.
constexpr const char* kHeadlessFeature = "https://quillmere.example/iplug#headless";
} // namespace

LV2Editor::LV2Editor(HostedLV2& plug) : mPlug(plug) {}

LV2Editor::~LV2Editor() { Close(); }

bool LV2Editor::Instantiate(void* parent, double scale, bool headless, std::string& error)
{
  std::string uiURI, binary, bundle;
  if (!mPlug.FindX11UI(uiURI, binary, bundle, error))
    return false;
  mLibrary = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mLibrary)
  {
    error = std::string("cannot load the editor: ") + dlerror();
    return false;
  }
  auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(mLibrary, "lv2ui_descriptor"));
  for (uint32_t i = 0; entry && !mDescriptor; i++)
  {
    const LV2UI_Descriptor* d = entry(i);
    if (!d)
      break;
    if (d->URI && uiURI == d->URI)
      mDescriptor = d;
  }
  if (!mDescriptor)
  {
    error = "the editor's library has no descriptor for " + uiURI;
    return false;
  }

  // The UI may keep what the features point to for as long as it lives: they are members.
  mMap = {this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID
          {
            auto& uris = static_cast<LV2Editor*>(h)->mURIs;
            auto it = std::find(uris.begin(), uris.end(), uri);
            if (it != uris.end())
              return static_cast<LV2_URID>(it - uris.begin() + 1);
            uris.emplace_back(uri);
            return static_cast<LV2_URID>(uris.size());
          }};
  mResize = {this, [](LV2UI_Feature_Handle h, int w, int hgt) { return static_cast<LV2Editor*>(h)->Resize(w, hgt); }};
  mTouch = {this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed)
            { static_cast<LV2Editor*>(h)->mEdits.push_back((grabbed ? "begin " : "end ") + std::to_string(port)); }};
  LV2_URID_Map& map = mMap;
  float scaleValue = static_cast<float>(scale);
  LV2_Options_Option options[2] = {};
  options[0] = {LV2_OPTIONS_INSTANCE, 0, map.map(this, LV2_UI__scaleFactor), sizeof(float),
                map.map(this, LV2_ATOM__Float), &scaleValue};
  const LV2_Feature mapFeature{LV2_URID__map, &map};
  const LV2_Feature parentFeature{LV2_UI__parent, parent};
  const LV2_Feature resizeFeature{LV2_UI__resize, &mResize};
  const LV2_Feature touchFeature{LV2_UI__touch, &mTouch};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
  const LV2_Feature headlessFeature{kHeadlessFeature, nullptr};
  std::vector<const LV2_Feature*> features = {&mapFeature, &touchFeature};
  if (headless)
    features.push_back(&headlessFeature);
  else
  {
    features.push_back(&parentFeature);
    features.push_back(&resizeFeature);
  }
  if (scale > 0.0)
    features.push_back(&optionsFeature);
  features.push_back(nullptr);

  LV2UI_Widget widget = nullptr;
  mHandle = mDescriptor->instantiate(
      mDescriptor, mPlug.Uri().c_str(), bundle.c_str(),
      [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
      { static_cast<LV2Editor*>(c)->Write(port, size, format, buffer); },
      this, &widget, features.data());
  if (!mHandle)
  {
    error = "the editor could not be opened";
    return false;
  }
  mIdle = mDescriptor->extension_data
              ? static_cast<const LV2UI_Idle_Interface*>(mDescriptor->extension_data(LV2_UI__idleInterface))
              : nullptr;
  mSent.assign(mPlug.NumPorts(), NAN);
  SendPortValues();
  return true;
}

bool LV2Editor::Open(std::string& error, double scale, const std::string& title, int x, int y)
{
  Close();
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay)
  {
    error = "cannot open the X display (is DISPLAY set?)";
    return false;
  }
  // The UI asks for its size through ui:resize once it is open; the window starts small until then.
  mWidth = 100;
  mHeight = 100;
  mWindow = CreateEditorWindow(mDisplay, x, y, mWidth, mHeight, title, mDeleteAtom);
  if (!Instantiate(reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)), scale, false, error))
  {
    Close();
    return false;
  }
  mResizes.clear(); // the size it opened at is not a request
  mClosed = false;
  return true;
}

bool LV2Editor::OpenHeadless(double scale, std::string& error)
{
  Close();
  if (!Instantiate(nullptr, 0.0, true, error))
  {
    Close();
    return false;
  }
  auto* headless = static_cast<const iplug_lv2_headless_editor*>(
      mDescriptor->extension_data ? mDescriptor->extension_data(IPLUG_LV2_EXT_HEADLESS_EDITOR) : nullptr);
  if (!headless || !headless->open(mHandle, scale))
  {
    error = "the editor cannot draw without a window here (no EGL display?)";
    Close();
    return false;
  }
  return true;
}

void LV2Editor::Close()
{
  if (mHandle && mDescriptor && mDescriptor->cleanup)
    mDescriptor->cleanup(mHandle);
  mHandle = nullptr;
  mDescriptor = nullptr;
  mIdle = nullptr;
  if (mLibrary)
    dlclose(mLibrary);
  mLibrary = nullptr;
  if (mDisplay)
  {
    if (mWindow)
      XDestroyWindow(mDisplay, mWindow);
    XCloseDisplay(mDisplay);
  }
  mDisplay = nullptr;
  mWindow = 0;
}

void LV2Editor::SendPortValues()
{
  if (!mHandle || !mDescriptor->port_event)
    return;
  for (uint32_t i = 0; i < mSent.size(); i++)
  {
    if (!mPlug.IsControlPort(i))
      continue;
    const float v = mPlug.PortValue(i);
    if (v == mSent[i] || std::isnan(v))
      continue;
    mSent[i] = v;
    mDescriptor->port_event(mHandle, i, sizeof(float), 0, &v);
  }
}

void LV2Editor::Write(uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
  if (format != 0 || size != sizeof(float) || !buffer || !mPlug.IsControlPort(port))
    return;
  const float v = *static_cast<const float*>(buffer);
  if (!mPlug.SetPortValue(port, v))
    return;
  // The UI already shows it: no echo.
  if (port < mSent.size())
    mSent[port] = v;
  mEdits.push_back("perform " + std::to_string(port) + " " + std::to_string(v));
}

int LV2Editor::Resize(int width, int height)
{
  if (!mWindow || width <= 0 || height <= 0)
    return 1;
  mResizes.push_back({static_cast<uint32_t>(width), static_cast<uint32_t>(height)});
  ResizeWindow(width, height);
  return 0;
}

void LV2Editor::ResizeWindow(int width, int height)
{
  mWidth = std::clamp(width, 1, 32767);
  mHeight = std::clamp(height, 1, 32767);
  XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight));
  XSync(mDisplay, False);
}

void LV2Editor::DrainWindowEvents()
{
  if (DrainEditorWindowEvents(mDisplay, mDeleteAtom))
    mClosed = true;
}

bool LV2Editor::Run(double ms, const std::function<void()>& idle, double maxWaitMs)
{
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
  // A DAW calls a UI's idle at its display rate or so.
  constexpr double kIdleMs = 1000.0 / 60.0;
  while (!mClosed && mHandle)
  {
    DrainWindowEvents();
    if (idle)
      idle();
    SendPortValues();
    if (mIdle && mIdle->idle(mHandle) != 0)
      mClosed = true;
    const auto now = Clock::now();
    if (now >= end)
      break;
    const double untilEnd = std::chrono::duration<double, std::milli>(end - now).count();
    const double wait = std::min({untilEnd, kIdleMs, maxWaitMs});
    pollfd fd{mDisplay ? ConnectionNumber(mDisplay) : -1, POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::ceil(std::max(0.0, wait))));
  }
  return !mClosed;
}

unsigned long LV2Editor::ChildWindow() const { return FirstChildWindow(mDisplay, mWindow); }

bool LV2Editor::Screenshot(std::vector<uint8_t>& rgba, int& width, int& height) const
{
  return CaptureWindow(mDisplay, mWindow, rgba, width, height);
}

bool LV2Editor::WriteScreenshotPNG(const std::string& path) const { return WriteWindowPNG(mDisplay, mWindow, path); }

bool LV2Editor::WriteHeadlessPNG(const std::string& path, uint32_t& width, uint32_t& height)
{
  if (!mHandle)
    return false;
  auto* headless = static_cast<const iplug_lv2_headless_editor*>(
      mDescriptor->extension_data ? mDescriptor->extension_data(IPLUG_LV2_EXT_HEADLESS_EDITOR) : nullptr);
  if (!headless)
    return false;
  SendPortValues();
  // The UI's own clock delivers what it was sent; then the frame.
  if (mIdle)
    mIdle->idle(mHandle);
  return headless->draw_frame(mHandle) && headless->write_png(mHandle, path.c_str()) &&
         headless->get_size(mHandle, &width, &height);
}

} // namespace brevant::host
