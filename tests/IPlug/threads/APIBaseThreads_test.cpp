#include <gtest/gtest.h>

#include "FakeRunLoop.h"
#include "RecordingPlug.h"

#include <atomic>
#include <thread>

using namespace iplug;

namespace
{
// The audio thread publishes block after block while the host's UI thread runs the framework timer.
class MeteringPlug : public RecordingPlug
{
public:
  void OnMidiMsgUI(const IMidiMsg& m) override
  {
    ordered &= m.mOffset > lastMidi;
    lastMidi = m.mOffset;
    ++midiSeen;
  }
  void OnMeterValuesUI(const IMeterValues& v) override
  {
    const int seq = static_cast<int>(v.values[1]);
    whole &= v.count == 2 && v.paramIdx[0] == 3 && v.paramIdx[1] == 0 && v.values[0] == seq / 1e6;
    ordered &= seq > lastMeter;
    lastMeter = seq;
  }
  void OnLatencyChangeUI(int latency) override
  {
    ordered &= latency > lastLatency;
    lastLatency = latency;
  }
  void OnIdle() override {}

  using RecordingPlug::mMidiMsgsFromProcessor;

  bool ordered = true, whole = true;
  int lastMidi = -1, lastMeter = -1, lastLatency = -1, midiSeen = 0;
};
} // namespace

TEST(IPlugAPIBaseThreads, AudioThreadOutputReachesTheUIThread)
{
  constexpr int kBlocks = 50000;
  FakeRunLoop loop;
  MeteringPlug p;
  p.SetHostRunLoop(&loop);
  p.CreateTimer();
  std::atomic<bool> done{false};
  int pushed = 0;
  std::thread audio(
      [&]
      {
        for (int seq = 0; seq < kBlocks; ++seq)
        {
          pushed += p.mMidiMsgsFromProcessor.Push(IMidiMsg(seq, 0x90, 60, 100));
          IMeterValues m;
          m.Add(3, seq / 1e6);
          m.Add(0, seq);
          p.SendMeterValuesFromProcessor(m);
          if (seq % 64 == 0)
            p.SendLatencyChangeFromProcessor(seq);
        }
        done = true;
      });
  while (!done)
    loop.Fire();
  audio.join();
  loop.Fire(); // what arrived after the last tick

  EXPECT_TRUE(p.ordered);
  EXPECT_TRUE(p.whole);
  EXPECT_EQ(p.midiSeen, pushed); // dropped when full, never lost once queued
  EXPECT_EQ(p.lastMeter, kBlocks - 1);
  EXPECT_EQ(p.lastLatency, (kBlocks - 1) / 64 * 64);
}
