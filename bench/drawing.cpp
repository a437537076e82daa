// Time to draw one complete editor frame (997 x 612 logical pixels) headless, at 1x and 2x: the background and
// the 31 bitmap controls of the panel at their places, every control dirty, the copy to the window included.
// On a machine without a GPU this is Mesa's llvmpipe, which is what the numbers describe there.

#include "IGraphicsEditorDelegate.h"
#include "IGraphicsLinux.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace iplug::igraphics;

namespace
{
struct Placed
{
  const char* bitmap;
  int frames;
  float x, y;
};

// The panel's bitmaps at their places (switches, knobs, then the three meters).
constexpr Placed kPanel[] = {
    {"BUTTON.png", 2, 271, 436}, {"BUTTON.png", 2, 546, 436}, {"BUTTON.png", 2, 822, 436}, {"BUTTON.png", 2, 133, 436},
    {"BUTTON.png", 2, 408, 436}, {"BUTTON.png", 2, 683, 436}, {"BUTTON.png", 2, 546, 538}, {"BUTTON.png", 2, 408, 538},
    {"KNOB.png", 61, 134, 213},  {"KNOB.png", 61, 240, 213},  {"KNOB.png", 61, 134, 316},  {"KNOB.png", 61, 240, 316},
    {"KNOB.png", 61, 187, 420},  {"KNOB.png", 61, 409, 213},  {"KNOB.png", 61, 515, 213},  {"KNOB.png", 61, 409, 316},
    {"KNOB.png", 61, 515, 316},  {"KNOB.png", 61, 462, 420},  {"KNOB.png", 61, 684, 213},  {"KNOB.png", 61, 791, 213},
    {"KNOB.png", 61, 684, 316},  {"KNOB.png", 61, 791, 316},  {"KNOB.png", 61, 738, 420},  {"KNOB.png", 61, 324, 368},
    {"KNOB.png", 61, 599, 368},  {"KNOB.png", 61, 324, 522},  {"KNOB.png", 61, 599, 522},  {"KNOB.png", 61, 462, 522},
    {"NEEDLE.png", 81, 143, 25}, {"NEEDLE.png", 81, 418, 25}, {"NEEDLE.png", 81, 695, 25}};

class BitmapAt : public IControl
{
public:
  BitmapAt(const IBitmap& bitmap, float x, float y, int frame)
      : IControl(IRECT(x, y, x + bitmap.FW(), y + bitmap.FH())), mBitmap(bitmap), mFrame(frame)
  {
  }
  void Draw(IGraphics& g) override { g.DrawBitmap(mBitmap, GetRECT(), mFrame); }

private:
  IBitmap mBitmap;
  int mFrame;
};

std::string Resource(const char* name) { return std::string(BREVANT_RESOURCES_DIR) + "/" + name; }

void FullFrame(benchmark::State& state)
{
  const float scale = static_cast<float>(state.range(0));
  IGEditorDelegate delegate(0);
  auto g = std::make_unique<IGraphicsLinux>(delegate, 997, 612, 60, 1.f);
  if (!g->OpenHeadless(scale))
  {
    state.SkipWithError(g->GetSurfaceError());
    return;
  }
  g->AttachControl(new BitmapAt(g->LoadBitmap(Resource("BG.png").c_str()), 0, 0, 1));
  int i = 0;
  for (const Placed& p : kPanel)
  {
    IBitmap bitmap = g->LoadBitmap(Resource(p.bitmap).c_str(), p.frames);
    if (!bitmap.IsValid())
    {
      state.SkipWithError("artwork missing");
      return;
    }
    g->AttachControl(new BitmapAt(bitmap, p.x, p.y, 1 + (i++ * 7) % p.frames));
  }

  for (auto _ : state)
  {
    g->SetAllControlsDirty();
    g->OnFrameTick();
    g->ActivateGLContext();
    glFinish(); // the frame is done when the renderer is, not when its commands are queued
    g->DeactivateGLContext();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  g->CloseHeadless();
}
} // namespace

BENCHMARK(FullFrame)->Arg(1)->Arg(2)->ArgName("scale")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
