// State as hosts store and restore it: byte-exact round trips between instances, the controller side of a single
// component, and streams that are empty, cut short, padded, garbage or hostile.

#include "Conformance.h"

#include "public.sdk/source/common/memorystream.h"

#include <cmath>
#include <cstring>
#include <random>

using namespace conformance;

namespace
{
// A stream that hands out its bytes a few at a time and may report failure, as some hosts' streams do.
class TrickleStream : public MemoryStream
{
public:
  TrickleStream(const std::vector<uint8_t>& bytes, int32 piece) : mPiece(piece)
  {
    int32 written = 0;
    if (!bytes.empty())
      MemoryStream::write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
    MemoryStream::seek(0, kIBSeekSet, nullptr);
  }
  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override
  {
    return MemoryStream::read(buffer, std::min(numBytes, mPiece), numBytesRead);
  }

private:
  int32 mPiece;
};

// A changed instance: a value on every parameter, the host bypass on through the processor.
void Change(Instance& plug, double normalized)
{
  ParameterChanges changes;
  for (ParamID id = 0; id < 31; id++)
  {
    plug.controller->setParamNormalized(id, normalized);
    changes.Add(id, 0, normalized);
  }
  changes.Add(kHostBypassID, 0, 1.0);
  plug.controller->setParamNormalized(kHostBypassID, 1.0);
  EXPECT_EQ(plug.Setup(kSample32, 64), kResultOk);
  EXPECT_TRUE(plug.Start());
  Block<float> block(plug, 64);
  ProcessData& data = block.Data(64);
  data.inputParameterChanges = &changes;
  EXPECT_EQ(plug.processor->process(data), kResultOk);
  plug.Stop();
}

std::vector<double> ControllerValues(Instance& plug)
{
  std::vector<double> v;
  for (int32 i = 0; i < plug.controller->getParameterCount(); i++)
  {
    ParameterInfo info{};
    plug.controller->getParameterInfo(i, info);
    v.push_back(plug.controller->getParamNormalized(info.id));
  }
  return v;
}
} // namespace

TEST(ConformanceState, SaveLoadSaveGivesTheSameBytes)
{
  Instance a;
  Change(a, 0.3);
  const auto saved = a.State();
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(a.State(), saved) << "saving twice";
  ASSERT_EQ(a.Load(saved), kResultOk);
  EXPECT_EQ(a.State(), saved);

  // Another instance takes the state whole: the same bytes, the same controller values, the bypass included.
  Instance b;
  ASSERT_EQ(b.Load(saved), kResultOk);
  EXPECT_EQ(b.State(), saved);
  EXPECT_EQ(ControllerValues(b), ControllerValues(a));
  EXPECT_DOUBLE_EQ(b.controller->getParamNormalized(kHostBypassID), 1.0);

  // Read in small pieces, the same.
  Instance c;
  for (int32 piece : {1, 3, 7, 64})
  {
    TrickleStream stream(saved, piece);
    ASSERT_EQ(c.component->setState(&stream), kResultOk) << piece;
    EXPECT_EQ(c.State(), saved) << piece;
  }

  // A stored state with bytes after it (a host's padding) loads the same.
  auto padded = saved;
  padded.insert(padded.end(), 16, 0xAB);
  Instance d;
  ASSERT_EQ(d.Load(padded), kResultOk);
  EXPECT_EQ(d.State(), saved);
}

TEST(ConformanceState, BadStreamsAreRefusedCleanly)
{
  Instance plug;
  Change(plug, 0.7);
  const auto good = plug.State();
  const auto values = ControllerValues(plug);

  std::mt19937 rng(11);
  std::vector<std::vector<uint8_t>> bad = {{}, {0}, {1, 2, 3}, std::vector<uint8_t>(7, 0xFF)};
  // Every truncation of a good state.
  for (size_t n = 1; n < good.size(); n++)
    bad.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
  // Noise of several sizes.
  for (size_t n : {16u, 264u, 1000u, 70000u})
  {
    std::vector<uint8_t> noise(n);
    for (auto& byte : noise)
      byte = static_cast<uint8_t>(rng());
    bad.push_back(noise);
  }
  for (const auto& bytes : bad)
  {
    const tresult r = plug.Load(bytes);
    if (r != kResultOk)
    {
      // Refused: the instance is as it was.
      ASSERT_EQ(plug.State(), good) << bytes.size() << " bytes";
      ASSERT_EQ(ControllerValues(plug), values) << bytes.size() << " bytes";
    }
    else
    {
      // Taken (noise can look like a state): every value is usable, and it can go back to the good one.
      for (double v : ControllerValues(plug))
        ASSERT_TRUE(v >= 0.0 && v <= 1.0) << bytes.size() << " bytes";
      ASSERT_EQ(plug.Load(good), kResultOk);
    }
  }
  EXPECT_NE(plug.component->setState(nullptr), kResultOk);
  EXPECT_NE(plug.component->getState(nullptr), kResultOk);

  // Values that are not numbers where the parameters are stored: the values stay in range.
  auto poisoned = good;
  const double nan = NAN, inf = INFINITY;
  for (size_t off = poisoned.size() - 4 - 31 * 8; off + 4 < poisoned.size(); off += 16)
    std::memcpy(&poisoned[off], (off / 16) % 2 ? &nan : &inf, 8);
  if (plug.Load(poisoned) == kResultOk)
  {
    for (double v : ControllerValues(plug))
      EXPECT_TRUE(v >= 0.0 && v <= 1.0);
  }

  // Still working after all that.
  ASSERT_EQ(plug.Setup(kSample64, 32), kResultOk);
  ASSERT_TRUE(plug.Start());
  Block<double> block(plug, 32);
  block.Signal();
  EXPECT_EQ(plug.processor->process(block.Data(32)), kResultOk);
  EXPECT_TRUE(block.OutputFinite(32));
}

TEST(ConformanceState, ControllerSideOfTheSingleComponent)
{
  // Hosts hand a single component's state to its controller too, and may store and restore the controller's own
  // state alongside: none of it may disturb the instance.
  Instance source;
  Change(source, 0.2);
  const auto saved = source.State();

  Instance plug;
  ASSERT_EQ(plug.Load(saved), kResultOk);
  EXPECT_EQ(plug.controller->setComponentState(StreamOf(saved)), kResultOk);
  EXPECT_EQ(plug.State(), saved);
  plug.controller->setComponentState(StreamOf({}));
  plug.controller->setComponentState(StreamOf({1, 2, 3}));
  EXPECT_EQ(plug.State(), saved);

  MemoryStream controllerState;
  const tresult got = plug.controller->getState(&controllerState);
  if (got == kResultOk)
  {
    const auto* bytes = reinterpret_cast<const uint8_t*>(controllerState.getData());
    const std::vector<uint8_t> stored(bytes, bytes + controllerState.getSize());
    Instance other;
    ASSERT_EQ(other.Load(saved), kResultOk);
    other.controller->setComponentState(StreamOf(saved));
    other.controller->setState(StreamOf(stored));
    EXPECT_EQ(other.State(), saved);
  }
  plug.controller->setState(StreamOf({}));
  EXPECT_EQ(plug.State(), saved);
}
