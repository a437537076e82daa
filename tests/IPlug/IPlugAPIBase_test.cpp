#include <gtest/gtest.h>

#include "FakeRunLoop.h"
#include "RecordingPlug.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

using namespace iplug;
using Log = std::vector<std::string>;

TEST(IPlugAPIBase, ConstructionTakesTheConfig)
{
  RecordingPlug p;
  EXPECT_EQ(p.NParams(), 4);
  EXPECT_EQ(p.NPresets(), 1);
  EXPECT_STREQ(p.GetPluginName(), "Recorder");
  EXPECT_STREQ(p.GetProductName(), "Recorder Pro");
  EXPECT_STREQ(p.GetMfrName(), "Quillmere");
  EXPECT_STREQ(p.GetBundleID(), "com.quillmere.recorder");
  EXPECT_EQ(p.GetUniqueID(), FourCC("Rcrd"));
  EXPECT_EQ(p.GetMfrID(), FourCC("Qlmr"));
  EXPECT_EQ(p.GetPluginVersion(false), 0x10203);
  EXPECT_EQ(p.GetAPI(), kAPIVST3);
  EXPECT_TRUE(p.HasUI());
  EXPECT_TRUE(p.GetHostResize());
  EXPECT_EQ(p.GetEditorWidth(), 997);
  EXPECT_EQ(p.GetEditorHeight(), 612);
  EXPECT_EQ(p.GetMinWidth(), 500); // limits ordered
  EXPECT_EQ(p.GetMaxWidth(), 2000);
  EXPECT_EQ(p.mParamChangeFromProcessor.Capacity(), 512u);
  EXPECT_EQ(p.mMidiMsgsFromEditor.Capacity(), 32u);
  EXPECT_EQ(p.mMidiMsgsFromProcessor.Capacity(), 32u);
  EXPECT_EQ(p.mSysExDataFromEditor.Capacity(), 4u);
  EXPECT_EQ(p.mSysExDataFromProcessor.Capacity(), 4u);
  EXPECT_EQ(p.mSysexBuf.mSize, 0);
  EXPECT_EQ(p.GetTimer(), nullptr); // the API class creates it
  // Host-request defaults that answer something.
  EXPECT_TRUE(p.OnHostRequestingSupportedViewConfiguration(0, 0));
  EXPECT_FALSE(p.OnHostRequestingSupportedViewConfiguration(997, 612));
  EXPECT_EQ(p.GetAAXViewInterface(), nullptr);
}

TEST(IPlugAPIBase, SetHostIdentifiesThenCallsTheHostHooks)
{
  RecordingPlug p;
  p.SetHost("Ardour 8", 0x80000);
  EXPECT_EQ(p.GetHost(), kHostArdour);
  EXPECT_EQ(p.GetHostVersion(false), 0x80000);
  EXPECT_EQ(p.ownLog, (Log{"hostInit 28", "hostIdentified"}));
}

TEST(IPlugAPIBase, EditorGestureReachesHostThenPlugin)
{
  RecordingPlug p;
  p.BeginInformHostOfParamChangeFromUI(0);
  p.SendParameterValueFromUI(0, 0.254);
  p.EndInformHostOfParamChangeFromUI(0);
  EXPECT_EQ(p.ownLog, (Log{"begin 0", "inform 0 0.254", "change 0 src3 -1 value 25", "changeUI 0 src3", "end 0"}));
  EXPECT_DOUBLE_EQ(p.GetParam(0)->Value(), 25.0); // step-rounded

  // Shaped parameter: the host gets the normalized value, the plug-in sees the mapped one.
  p.ownLog.clear();
  p.SendParameterValueFromUI(2, 0.5);
  ASSERT_EQ(p.ownLog.size(), 3u);
  EXPECT_EQ(p.ownLog[0], "inform 2 0.5");
  EXPECT_NEAR(p.GetParam(2)->Value(), 20 + (20000 - 20) * 0.125, 1.0);

  // Indices outside the table reach nobody.
  p.ownLog.clear();
  p.SendParameterValueFromUI(4, 0.5);
  p.SendParameterValueFromUI(-1, 0.5);
  p.SetParameterValue(99, 0.5);
  p.SendParameterValueFromAPI(4, 0.5, true);
  EXPECT_TRUE(p.ownLog.empty());
  EXPECT_EQ(p.mParamChangeFromProcessor.ElementsAvailable(), 0u);
}

TEST(IPlugAPIBase, DirtyParametersAndResize)
{
  RecordingPlug p;
  p.GetParam(1)->Set(1.0);
  p.DirtyParametersFromUI();
  EXPECT_EQ(p.ownLog, (Log{"inform 0 0.5", "inform 1 1",
                           "inform 2 " + RecordingPlug::Num(p.GetParam(2)->GetNormalized()), "inform 3 0"}));

  p.ownLog.clear();
  EXPECT_TRUE(p.EditorResizeFromUI(800, 500, false)); // nothing for the host to do
  EXPECT_TRUE(p.ownLog.empty());
  p.resizeResult = false;
  EXPECT_FALSE(p.EditorResizeFromUI(800, 500, true));
  EXPECT_EQ(p.ownLog, (Log{"resize 800x500"}));
}

TEST(IPlugAPIBase, MidiAndSysExFromEditorAreQueuedAndDroppedWhenFull)
{
  RecordingPlug p;
  for (int i = 0; i < 33; ++i)
    p.SendMidiMsgFromUI(IMidiMsg(i, 0x90, static_cast<uint8_t>(i), 100));
  IMidiMsg m;
  for (int i = 0; i < 32; ++i)
  {
    ASSERT_TRUE(p.mMidiMsgsFromEditor.Pop(m));
    EXPECT_EQ(m.mData1, i);
  }
  EXPECT_FALSE(p.mMidiMsgsFromEditor.Pop(m)); // the 33rd was dropped

  uint8_t big[600];
  for (int i = 0; i < 600; ++i)
    big[i] = static_cast<uint8_t>(i);
  p.SendSysexMsgFromUI(ISysEx(7, big, 600));
  p.SendSysexMsgFromUI(ISysEx(8, nullptr, 16));
  p.SendSysexMsgFromUI(ISysEx(9, big, -5));
  p.SendSysexMsgFromUI(ISysEx(10, big, 3));
  p.SendSysexMsgFromUI(ISysEx(11, big, 3)); // fifth: dropped

  SysExData d;
  ASSERT_TRUE(p.mSysExDataFromEditor.Pop(d));
  EXPECT_EQ(d.mOffset, 7);
  EXPECT_EQ(d.mSize, SysExData::kMaxSize); // never more than the record holds
  EXPECT_EQ(0, std::memcmp(d.mData, big, SysExData::kMaxSize));
  ASSERT_TRUE(p.mSysExDataFromEditor.Pop(d));
  EXPECT_EQ(d.mSize, 16);
  EXPECT_EQ(d.mData[0] | d.mData[15], 0);
  ASSERT_TRUE(p.mSysExDataFromEditor.Pop(d));
  EXPECT_EQ(d.mSize, 0);
  ASSERT_TRUE(p.mSysExDataFromEditor.Pop(d));
  EXPECT_EQ(d.mOffset, 10);
  EXPECT_FALSE(p.mSysExDataFromEditor.Pop(d));
}

TEST(IPlugAPIBase, TimerDeliversProcessorOutputOnTheRunLoop)
{
  FakeRunLoop loop;
  {
    RecordingPlug p;
    p.CreateTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(p.ownLog.empty()); // no run loop yet: no ticks, nothing touched off the UI thread

    // What the audio thread produced meanwhile.
    p.mMidiMsgsFromProcessor.Push(IMidiMsg(0, 0x90, 60, 1));
    p.mMidiMsgsFromProcessor.Push(IMidiMsg(0, 0x80, 61, 0));
    p.mSysexBuf = SysExData(3, 2, "\xF0\xF7");
    p.mSysExDataFromProcessor.Push(p.mSysexBuf);
    p.SendParameterValueFromAPI(0, 0.5, true);
    IMeterValues stale, meters;
    stale.Add(3, 0.1);
    meters.Add(3, 0.75);
    meters.Add(0, 30);
    p.SendMeterValuesFromProcessor(stale);
    p.SendMeterValuesFromProcessor(meters);
    p.SendLatencyChangeFromProcessor(64);

    p.SetHostRunLoop(&loop);
    ASSERT_EQ(loop.NumTimers(), 1u);
    EXPECT_EQ(loop.IntervalOf(0), 20u);
    loop.Fire();
    EXPECT_EQ(p.ownLog, (Log{"midi 60", "midi 61", "sysex 2 first 240", "delegate 0 50 plain", "changeUI 0 src4",
                             "delegate 3 0.75 plain", "changeUI 3 src4", "delegate 0 30 plain", "changeUI 0 src4",
                             "latency 64", "idle"}));
    p.ownLog.clear();
    loop.Fire();
    EXPECT_EQ(p.ownLog, (Log{"idle"})); // each delivered once

    p.CreateTimer(); // a replacement keeps the run loop
    EXPECT_EQ(loop.NumTimers(), 1u);
  }
  EXPECT_EQ(loop.NumTimers(), 0u);
  EXPECT_EQ(loop.refCount, 1u);
}

TEST(IPlugAPIBase, TimerWithoutEditorOnlyIdles)
{
  FakeRunLoop loop;
  RecordingPlug p(false);
  p.SetHostRunLoop(&loop); // before the timer exists
  p.CreateTimer();
  p.mMidiMsgsFromProcessor.Push(IMidiMsg(0, 0x90, 60, 1));
  IMeterValues meters;
  meters.Add(3, 0.5);
  p.SendMeterValuesFromProcessor(meters);
  loop.Fire();
  EXPECT_EQ(p.ownLog, (Log{"idle"}));
  EXPECT_EQ(p.mMidiMsgsFromProcessor.ElementsAvailable(), 1u);

  p.ownLog.clear();
  p.SendLatencyChangeFromProcessor(0); // the host still needs to hear of latency changes
  loop.Fire();
  EXPECT_EQ(p.ownLog, (Log{"latency 0", "idle"}));

  // Called on the main thread outside a tick, it does the same work.
  p.ownLog.clear();
  p.OnTimer(*p.GetTimer());
  EXPECT_EQ(p.ownLog, (Log{"idle"}));
}

TEST(IPlugAPIBase, TimerStoppedFromItsOwnTick)
{
  FakeRunLoop loop;
  RecordingPlug p;
  p.SetHostRunLoop(&loop);
  p.CreateTimer();
  p.onIdle = [](RecordingPlug& plug) { plug.GetTimer()->Stop(); };
  loop.Fire();
  loop.Fire();
  EXPECT_EQ(p.ownLog, (Log{"idle"}));
  EXPECT_EQ(loop.NumTimers(), 0u);
}

TEST(IPlugAPIBase, DestroyedWhileTheHostHoldsAPendingTick)
{
  FakeRunLoop loop;
  Log log;
  auto p = std::make_unique<RecordingPlug>();
  p->log = &log;
  p->SetHostRunLoop(&loop);
  p->CreateTimer();
  p->mMidiMsgsFromProcessor.Push(IMidiMsg(0, 0x90, 60, 1));
  auto* pending = loop.TakePending(0);
  p.reset();
  pending->onTimer();
  pending->release();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(loop.refCount, 1u);
}

TEST(IPlugAPIBase, CompareState)
{
  RecordingPlug p;
  double values[6] = {-1, p.GetParam(0)->Value(), 0, 1000, 0, 0};
  p.GetParam(2)->Set(1000);
  EXPECT_TRUE(p.CompareState(reinterpret_cast<const uint8_t*>(values), 1)); // startPos counts doubles

  values[4] = 2e-5; // parameter 3
  EXPECT_FALSE(p.CompareState(reinterpret_cast<const uint8_t*>(values), 1));
  values[4] = 5e-6;
  EXPECT_TRUE(p.CompareState(reinterpret_cast<const uint8_t*>(values), 1));

  // Unaligned bytes compare the same.
  uint8_t bytes[sizeof(values) + 1];
  std::memcpy(bytes + 1, values, sizeof(values));
  EXPECT_TRUE(p.CompareState(bytes + 1, 1));
  EXPECT_FALSE(p.CompareState(nullptr, 0));
}
