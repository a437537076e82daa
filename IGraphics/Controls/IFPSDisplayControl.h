#pragma once
// Overlay showing how long recent frames took.

#include "IControl.h"

#include <array>

namespace iplug::igraphics
{

class IFPSDisplayControl : public IControl
{
public:
  IFPSDisplayControl(const IRECT& bounds, const char* label = "Frame Time");

  /** Records the time since the previous frame, in seconds. */
  void Update(float frameTime);
  /** Mean of the recorded frame times, in seconds (0 before the first). */
  float GetMeanFrameTime() const;
  int NSamples() const { return mNSamples; }

  void Draw(IGraphics& g) override;
  /** The numbers change every frame. */
  bool IsDirty() override { return true; }

private:
  std::array<float, kFrameTimeSamples> mSamples{};
  int mWriteIdx = 0;
  int mNSamples = 0;
  WDL_String mLabel;
};

} // namespace iplug::igraphics
