#include "IFPSDisplayControl.h"

#include "IGraphics.h"

namespace iplug::igraphics
{

IFPSDisplayControl::IFPSDisplayControl(const IRECT& bounds, const char* label)
    : IControl(bounds), mLabel(label ? label : "")
{
  mText = IText(12.f, COLOR_WHITE, nullptr, EAlign::kNear, EVAlign::kTop);
}

void IFPSDisplayControl::Update(float frameTime)
{
  mSamples[static_cast<size_t>(mWriteIdx)] = frameTime;
  mWriteIdx = (mWriteIdx + 1) % kFrameTimeSamples;
  mNSamples = std::min(mNSamples + 1, kFrameTimeSamples);
}

float IFPSDisplayControl::GetMeanFrameTime() const
{
  if (!mNSamples)
    return 0.f;
  float sum = 0.f;
  for (int i = 0; i < mNSamples; i++)
    sum += mSamples[static_cast<size_t>(i)];
  return sum / static_cast<float>(mNSamples);
}

void IFPSDisplayControl::Draw(IGraphics& g)
{
  g.FillRect(IColor(180, 0, 0, 0), mRECT);

  // Frame times oldest to newest, 0 to 50 ms over the control's height.
  std::array<float, kFrameTimeSamples> points{};
  for (int i = 0; i < kFrameTimeSamples; i++)
  {
    const float t = mSamples[static_cast<size_t>((mWriteIdx + i) % kFrameTimeSamples)];
    points[static_cast<size_t>(i)] = std::clamp(t / 0.05f, 0.f, 1.f);
  }
  g.DrawData(COLOR_GREEN, mRECT, points.data(), kFrameTimeSamples);

  WDL_String str;
  const float mean = GetMeanFrameTime();
  str.SetFormatted(64, "%s: %.2f ms (%.0f fps)", mLabel.Get(), mean * 1000.f, mean > 0.f ? 1.f / mean : 0.f);
  g.DrawText(mText, str.Get(), mRECT.GetPadded(-2.f));
}

} // namespace iplug::igraphics
