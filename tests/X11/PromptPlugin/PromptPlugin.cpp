// A small framework plug-in whose editor asks for its values: a box that opens a text entry for a number and one
// that opens a menu of a list's texts. The prompt tests drive it in a real window with xdotool.

#include "IGraphicsLinux.h"
#include "IPlugPaths.h"
#include "IPlugVST3.h"
#include "IPlugVST3_Factory.h"

#include "pluginterfaces/base/fplatform.h"

using namespace iplug;
using namespace iplug::igraphics;
using namespace Steinberg;

namespace
{
constexpr const char* kBundleID = "com.BrevantTests.vst3.PromptTest";
constexpr int kWidth = 320, kHeight = 140;

enum EParam
{
  kLevel = 0,
  kMode,
  kNumParams
};

Config MakeConfig()
{
  Config c;
  c.nParams = kNumParams;
  c.nPresets = 1;
  c.channelIOStr = "2-2";
  c.pluginName = "PromptTest";
  c.productName = "PromptTest";
  c.mfrName = "Brevant Tests";
  c.vendorVersion = 0x10000;
  c.uniqueID = FourCC("PrmT");
  c.mfrID = FourCC("BrvT");
  c.plugHasUI = true;
  c.plugWidth = kWidth;
  c.plugHeight = kHeight;
  c.bundleID = kBundleID;
  return c;
}

/** The panel behind the boxes. */
class Panel : public IControl
{
public:
  explicit Panel(const IRECT& r) : IControl(r) {}
  void Draw(IGraphics& g) override { g.FillRect(IColor(255, 30, 31, 34), GetRECT()); }
};

/** Shows its parameter's value; a left click asks for a new one. */
class PromptBox : public IControl
{
public:
  PromptBox(const IRECT& r, int paramIdx) : IControl(r, paramIdx) { DisablePrompt(false); }
  void Draw(IGraphics& g) override
  {
    g.FillRect(IColor(255, 40, 42, 46), GetRECT());
    WDL_String text;
    if (const IParam* p = GetParam())
      p->GetDisplay(text);
    g.DrawText(IText(16.f, COLOR_WHITE), text.Get(), GetRECT());
  }
  void OnMouseDown(float x, float y, const IMouseMod& mod) override
  {
    (void)x, (void)y, (void)mod;
    PromptUserInput(0);
  }
};

class PromptPlug : public IPlugVST3
{
public:
  explicit PromptPlug(const InstanceInfo& info) : IPlugVST3(info, MakeConfig())
  {
    GetParam(kLevel)->InitDouble("Level", 10., 0., 100., 0.1, "dB");
    GetParam(kMode)->InitEnum("Mode", 0, {"Fast", "Medium", "Slow", "Auto"});
    mMakeGraphicsFunc = [this]() { return MakeGraphics(*this, kWidth, kHeight, 60, 1.f); };
    mLayoutFunc = [](IGraphics* g)
    {
      g->AttachControl(new Panel(g->GetBounds()));
      g->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
      g->AttachControl(new PromptBox(IRECT(20, 20, 140, 60), kLevel));
      g->AttachControl(new PromptBox(IRECT(180, 20, 300, 60), kMode));
    };
  }
  void ProcessBlock(sample** inputs, sample** outputs, int nFrames) override
  {
    for (int c = 0; c < 2; c++)
      for (int i = 0; i < nFrames; i++)
        outputs[c][i] = inputs[c][i];
  }
};

const VST3ClassDescription kClass = {"Brevant Tests", "", "", "PromptTest", "Fx", "1.0.0", FourCC("BrvT"),
                                     FourCC("PrmT")};
} // namespace

IPlugVST3* iplug::MakePlug(const InstanceInfo& info) { return new PromptPlug(info); }

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
  return GetVST3PluginFactory(kClass, CreateVST3Instance);
}

bool InitModule()
{
  RegisterBundleFromModule(kBundleID);
  return true;
}

bool DeinitModule()
{
  ClearBundlePath(kBundleID);
  return true;
}
