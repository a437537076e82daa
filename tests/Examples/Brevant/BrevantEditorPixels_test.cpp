// Brevant's editor open headless, as a host's view opens it: what each control shows is read from the pixels of
// the frame and compared with the bitmap frame its value must select.

#include "Brevant.h"
#include "IBubbleControl.h"
#include "ICornerResizerControl.h"
#include "IGraphicsLinux.h"
#include "IPlugPaths.h"
#include "VST3TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace iplug;
using namespace iplug::igraphics;
using namespace vst3test;

namespace
{
std::string Resource(const char* name) { return std::string(BREVANT_BUNDLE_DIR) + "/Contents/Resources/" + name; }

// Control list indices of the layout (0 is the background).
constexpr int kOversamplingSwitch = 8;
constexpr int kLowBypassSwitch = 1;
constexpr int kLowAttackKnob = 9;
constexpr int kLowNeedle = 29;

struct Pixels
{
  std::vector<uint8_t> rgba;
  int w = 0, h = 0;

  /** The device pixels of a logical rectangle at a scale. */
  std::vector<uint8_t> Crop(const IRECT& r, float scale) const
  {
    std::vector<uint8_t> out;
    const int l = static_cast<int>(r.L * scale), t = static_cast<int>(r.T * scale);
    const int rr = static_cast<int>(r.R * scale), b = static_cast<int>(r.B * scale);
    for (int y = t; y < b; y++)
      out.insert(out.end(), &rgba[(static_cast<size_t>(y) * w + l) * 4], &rgba[(static_cast<size_t>(y) * w + rr) * 4]);
    return out;
  }
};

int MaxDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
  if (a.size() != b.size())
    return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); i++)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

/** A Brevant instance with its editor open headless through the framework's view path. */
struct Editor
{
  explicit Editor(float scale) : plug(new Brevant(InstanceInfo()))
  {
    SetBundlePath(brevant::kBundleID, BREVANT_BUNDLE_DIR);
    plug->initialize(&host);
    open = plug->OpenHeadlessEditor(scale);
    EXPECT_TRUE(open) << "the editor could not be opened headless";
    g = dynamic_cast<IGraphicsLinux*>(plug->GetUI());
    this->scale = scale;
  }
  ~Editor()
  {
    plug->CloseWindow();
    plug->terminate();
    plug->release();
  }

  Pixels Frame()
  {
    Pixels p;
    plug->DrawHeadlessFrame();
    EXPECT_TRUE(g->ReadFramePixels(p.rgba, p.w, p.h));
    return p;
  }

  /** Processes one block of a loud stereo sine with the given plain parameter values set first. */
  void ProcessLoud(std::vector<std::pair<int, double>> plainValues, int frames = 4096)
  {
    ProcessSetup setup{kRealtime, kSample64, frames, 48000.0};
    plug->setupProcessing(setup);
    plug->setActive(true);
    plug->setProcessing(true);
    Buses<double> in({2}, frames), out({2}, frames);
    for (int c = 0; c < 2; c++)
      for (int i = 0; i < frames; i++)
        in.at(0, c, i) = 0.9 * std::sin(2.0 * M_PI * 220.0 * i / 48000.0);
    ProcessData data = MakeProcessData(in, out, frames);
    ParameterChanges changes;
    for (auto& [idx, value] : plainValues)
      changes.Add(static_cast<ParamID>(idx), 0, plug->GetParam(idx)->ToNormalized(value));
    data.inputParameterChanges = &changes;
    plug->process(data);
    plug->setProcessing(false);
    plug->setActive(false);
  }

  NamedHost host;
  Brevant* plug;
  IGraphicsLinux* g = nullptr;
  bool open = false;
  float scale = 1.f;
};

/** The background with one bitmap frame drawn over it at r, as the editor must show it. */
class Reference
{
public:
  explicit Reference(float scale) : mScale(scale)
  {
    mGraphics = std::make_unique<IGraphicsLinux>(mDelegate, 997, 612, 60, 1.f);
    EXPECT_TRUE(mGraphics->OpenHeadless(scale)) << mGraphics->GetSurfaceError();
    mPainter = new Painter(mGraphics->GetBounds());
    mGraphics->AttachControl(mPainter);
    mBG = mGraphics->LoadBitmap(Resource("BG.png").c_str());
  }
  ~Reference() { mGraphics->CloseHeadless(); }

  /** A whole-editor image (with its @2x variant) drawn 1:1 over the editor. */
  std::vector<uint8_t> ShowImage(const char* path, int targetScale)
  {
    const IBitmap image = mGraphics->LoadBitmap(path, 1, false, targetScale);
    EXPECT_EQ(image.GetScale(), targetScale) << path;
    mPainter->mFunc = [&](IGraphics& g) { g.DrawBitmap(image, g.GetBounds(), 1); };
    mPainter->SetDirty(false);
    mGraphics->OnFrameTick();
    Pixels p;
    EXPECT_TRUE(mGraphics->ReadFramePixels(p.rgba, p.w, p.h));
    return p.rgba;
  }

  std::vector<uint8_t> Show(const char* bitmapName, int nFrames, int frame, const IRECT& r)
  {
    const IBitmap bitmap = mGraphics->LoadBitmap(Resource(bitmapName).c_str(), nFrames);
    mPainter->mFunc = [&](IGraphics& g)
    {
      g.DrawBitmap(mBG, g.GetBounds(), 1);
      g.DrawBitmap(bitmap, r, frame);
    };
    mPainter->SetDirty(false);
    mGraphics->OnFrameTick();
    Pixels p;
    EXPECT_TRUE(mGraphics->ReadFramePixels(p.rgba, p.w, p.h));
    return p.Crop(r, mScale);
  }

private:
  class Painter : public IControl
  {
  public:
    explicit Painter(const IRECT& r) : IControl(r) {}
    void Draw(IGraphics& g) override { mFunc(g); }
    std::function<void(IGraphics&)> mFunc;
  };

  float mScale;
  IGEditorDelegate mDelegate{0};
  std::unique_ptr<IGraphicsLinux> mGraphics;
  Painter* mPainter = nullptr;
  IBitmap mBG;
};

void Click(IGraphics& g, const IControl* c)
{
  const IMouseInfo p{c->GetRECT().MW(), c->GetRECT().MH(), 0.f, 0.f, IMouseMod(true)};
  g.OnMouseDown({p});
  g.OnMouseUp({p});
}

double sNow = 0.0;
double FakeClock() { return sNow; }
} // namespace

TEST(BrevantEditorPixels, EveryControlShowsTheFrameItsValueSelectsAtOneAndTwoTimes)
{
  struct Case
  {
    int control;
    const char* bitmap;
    int nFrames;
    double value;
    int frame;
  };
  const Case cases[] = {{kLowAttackKnob, "KNOB.png", 61, 0.0, 1},      {kLowAttackKnob, "KNOB.png", 61, 0.5, 31},
                        {kLowAttackKnob, "KNOB.png", 61, 0.99, 60},    {kLowAttackKnob, "KNOB.png", 61, 1.0, 61},
                        {kLowNeedle, "NEEDLE.png", 81, 1.0, 81},       {kLowNeedle, "NEEDLE.png", 81, 0.5, 41},
                        {kLowBypassSwitch, "BUTTON.png", 2, 0.0, 1},   {kLowBypassSwitch, "BUTTON.png", 2, 1.0, 2},
                        {kOversamplingSwitch, "BUTTON.png", 2, 1.0, 2}};
  for (float scale : {1.f, 2.f})
  {
    Editor ed(scale);
    ASSERT_TRUE(ed.open);
    Reference ref(scale);
    for (const Case& c : cases)
    {
      IControl* control = ed.g->GetControl(c.control);
      control->SetValueFromDelegate(c.value);
      const std::vector<uint8_t> shown = ed.Frame().Crop(control->GetRECT(), scale);
      const IRECT r = control->GetRECT();
      EXPECT_LE(MaxDiff(shown, ref.Show(c.bitmap, c.nFrames, c.frame, r)), 2)
          << c.bitmap << " value " << c.value << " should show frame " << c.frame << " at scale " << scale;
      // And not its neighbour: the comparison can tell frames apart.
      const int other = c.frame > 1 ? c.frame - 1 : c.frame + 1;
      EXPECT_GT(MaxDiff(shown, ref.Show(c.bitmap, c.nFrames, other, r)), 16) << c.bitmap << " frame " << other;
    }
  }
}

TEST(BrevantEditorPixels, BypassedTheNeedlesRestWhateverTheInput)
{
  Editor ed(1.f);
  ASSERT_TRUE(ed.open);
  Reference ref(1.f);
  const IRECT needle = ed.g->GetControl(kLowNeedle)->GetRECT();
  const std::vector<uint8_t> rest = ref.Show("NEEDLE.png", 81, 81, needle);

  // Processed, loud input with the low band driven hard moves the needle off its rest...
  ed.ProcessLoud({{kLowInput, 40.0}});
  EXPECT_GT(MaxDiff(ed.Frame().Crop(needle, 1.f), rest), 16);
  // ... bypassed, the same input leaves all three at rest.
  ed.ProcessLoud({{kLowInput, 40.0}, {kBypass, 0.0}});
  const Pixels p = ed.Frame();
  for (int i : {kLowNeedle, kLowNeedle + 1, kLowNeedle + 2})
    EXPECT_LE(MaxDiff(p.Crop(ed.g->GetControl(i)->GetRECT(), 1.f),
                      ref.Show("NEEDLE.png", 81, 81, ed.g->GetControl(i)->GetRECT())),
              2)
        << "needle " << i - kLowNeedle;
}

TEST(BrevantEditorPixels, OnlyTheOversamplingSwitchShowsItsValueInTheBubble)
{
  SetMonotonicClock(FakeClock);
  sNow = 0.0;
  Editor ed(1.f);
  ASSERT_TRUE(ed.open);
  IBubbleControl* bubble = ed.g->GetBubbleControl();
  ASSERT_NE(bubble, nullptr);

  Click(*ed.g, ed.g->GetControl(kLowBypassSwitch));
  EXPECT_EQ(ed.plug->GetParam(kLowBypass)->Value(), 0.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kHidden);
  EXPECT_STREQ(bubble->GetString(), "");

  Click(*ed.g, ed.g->GetControl(kOversamplingSwitch));
  EXPECT_STREQ(bubble->GetString(), "Oversampling On");
  EXPECT_EQ(bubble->GetArrowSide(), IBubbleControl::kBottom);
  Click(*ed.g, ed.g->GetControl(kOversamplingSwitch));
  EXPECT_STREQ(bubble->GetString(), "Oversampling Off");
  // Faded in, the bubble is drawn: its pixels differ from the panel without it.
  ed.Frame();
  sNow = 300.0;
  const Pixels with = ed.Frame();
  if (const char* dir = std::getenv("BREVANT_SHOT_DIR"))
    ed.g->WriteFramePNG((std::string(dir) + "/bubble.png").c_str());
  bubble->Hide(true);
  ed.g->SetAllControlsDirty();
  EXPECT_GT(MaxDiff(with.Crop(bubble->GetBubbleBounds(), 1.f), ed.Frame().Crop(bubble->GetBubbleBounds(), 1.f)), 64);
  SetMonotonicClock(nullptr);
}

TEST(BrevantEditorPixels, BubbleFadesInHoldsWhileHeldAndFadesOutOnTheClock)
{
  SetMonotonicClock(FakeClock);
  Editor ed(1.f);
  ASSERT_TRUE(ed.open);
  IBubbleControl* bubble = ed.g->GetBubbleControl();
  IControl* knob = ed.g->GetControl(kLowAttackKnob);
  auto tick = [&](double t)
  {
    sNow = t;
    ed.g->OnFrameTick();
  };
  auto opacity = [&] { return bubble->GetBlend().mWeight; };

  // Released at once: 200 ms in, 1000 ms held, 200 ms out.
  sNow = 0.0;
  const IMouseInfo at{knob->GetRECT().MW(), knob->GetRECT().MH(), 0.f, 0.f, IMouseMod(true)};
  ed.g->OnMouseDown({at});
  ed.g->OnMouseDrag({IMouseInfo{at.x, at.y - 10.f, 0.f, -10.f, IMouseMod(true)}});
  ed.g->OnMouseUp({at});
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kFadingIn);
  tick(100.0);
  EXPECT_NEAR(opacity(), 0.475f, 0.01f);
  tick(201.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kShown);
  EXPECT_NEAR(opacity(), 0.95f, 1e-6f);
  tick(1100.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kShown);
  tick(1202.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kFadingOut);
  tick(1302.0);
  EXPECT_NEAR(opacity(), 0.475f, 0.01f);
  tick(1403.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kHidden);
  EXPECT_TRUE(bubble->IsHidden());

  // Held: the bubble stays past the hold in steps of 200 ms until the knob is let go.
  sNow = 5000.0;
  ed.g->OnMouseDown({at});
  ed.g->OnMouseDrag({IMouseInfo{at.x, at.y - 20.f, 0.f, -10.f, IMouseMod(true)}});
  tick(5201.0);
  tick(6202.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kShown);
  tick(6403.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kShown);
  ed.g->OnMouseUp({at});
  tick(6604.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kFadingOut);
  tick(6805.0);
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kHidden);
  SetMonotonicClock(nullptr);
}

TEST(BrevantEditorPixels, CornerResizerScalesTheWholePanelWithinHalfToTwice)
{
  Editor ed(1.f);
  ASSERT_TRUE(ed.open);
  const IRECT corner = ed.g->GetCornerResizer()->GetRECT();
  EXPECT_EQ(corner, IRECT(977, 592, 997, 612));
  const IMouseInfo down{corner.MW(), corner.MH(), 0.f, 0.f, IMouseMod(true)};
  auto dragTo = [&](float x, float y)
  {
    ed.g->OnMouseDown({down});
    ed.g->OnMouseDrag({IMouseInfo{x, y, 0.f, 0.f, IMouseMod(true)}});
    ed.g->OnMouseUp({IMouseInfo{x, y, 0.f, 0.f, IMouseMod(true)}});
  };

  dragTo(corner.MW() * 1.5f, corner.MH() * 1.2f); // the smaller ratio wins: the aspect is kept
  EXPECT_NEAR(ed.g->GetDrawScale(), 1.2f, 0.01f);
  EXPECT_EQ(ed.g->Width(), 997);
  EXPECT_EQ(ed.g->Height(), 612);
  EXPECT_EQ(ed.plug->GetEditorWidth(), static_cast<int>(997 * ed.g->GetDrawScale()));

  const IRECT scaled = ed.g->GetCornerResizer()->GetRECT();
  const IMouseInfo downScaled{scaled.MW(), scaled.MH(), 0.f, 0.f, IMouseMod(true)};
  ed.g->OnMouseDown({downScaled});
  ed.g->OnMouseDrag({IMouseInfo{5000.f, 5000.f, 0.f, 0.f, IMouseMod(true)}});
  ed.g->OnMouseUp({IMouseInfo{5000.f, 5000.f, 0.f, 0.f, IMouseMod(true)}});
  EXPECT_FLOAT_EQ(ed.g->GetDrawScale(), 2.f);
  const IRECT twice = ed.g->GetCornerResizer()->GetRECT();
  ed.g->OnMouseDown({IMouseInfo{twice.MW(), twice.MH(), 0.f, 0.f, IMouseMod(true)}});
  ed.g->OnMouseDrag({IMouseInfo{10.f, 10.f, 0.f, 0.f, IMouseMod(true)}});
  ed.g->OnMouseUp({IMouseInfo{10.f, 10.f, 0.f, 0.f, IMouseMod(true)}});
  EXPECT_FLOAT_EQ(ed.g->GetDrawScale(), 0.5f);

  // The frame follows: the window's pixels are the panel times the draw scale.
  const Pixels p = ed.Frame();
  EXPECT_EQ(p.w, 498);
  EXPECT_EQ(p.h, 306);
}

// One image of the whole editor per scale guards against any visual regression. llvmpipe is deterministic for a
// given Mesa build, but other Mesa versions or CPU paths may round a blend or an antialiased edge differently:
// each channel may differ by 8 and one pixel in a thousand by more, far below anything a change to the artwork,
// layout or drawing would leave. The reference is read back through the backend itself, drawn 1:1.
TEST(BrevantEditorPixels, WholeEditorMatchesItsReferenceImage)
{
  for (float scale : {1.f, 2.f})
  {
    Editor ed(scale);
    ASSERT_TRUE(ed.open);
    const Pixels p = ed.Frame();

    Reference ref(scale);
    const std::string path = std::string(BREVANT_TEST_DATA_DIR) + "/editor.png";
    const std::vector<uint8_t> expected = ref.ShowImage(path.c_str(), static_cast<int>(scale));
    ASSERT_EQ(expected.size(), p.rgba.size()) << "reference " << path << " at scale " << scale;
    size_t off = 0;
    int worst = 0;
    for (size_t i = 0; i < p.rgba.size(); i += 4)
    {
      int d = 0;
      for (size_t c = 0; c < 3; c++)
        d = std::max(d, std::abs(p.rgba[i + c] - expected[i + c]));
      worst = std::max(worst, d);
      if (d > 8)
        off++;
    }
    EXPECT_LE(off, p.rgba.size() / 4 / 1000) << "scale " << scale << ": " << off << " pixels off, worst " << worst;
    if (off > p.rgba.size() / 4 / 1000)
      ed.g->WriteFramePNG((::testing::TempDir() + "editor-actual.png").c_str());
  }
}
