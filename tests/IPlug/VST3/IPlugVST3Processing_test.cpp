// The processing bridge as a host drives it: setup, bus layouts, parameter queues, bypass, routing with the
// side-chain, MIDI in and out, transport, and hostile process data.

#include "TestPlugVST3.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vst3test;

namespace
{
std::string BusName(TestPlugVST3* plug, BusDirection dir, int32 idx, BusInfo* out = nullptr)
{
  BusInfo info{};
  if (plug->getBusInfo(kAudio, dir, idx, info) != kResultOk)
    return "<none>";
  if (out)
    *out = info;
  return ToAscii(info.name);
}
} // namespace

TEST(IPlugVST3Processing, BusesAndArrangements)
{
  TestInstance t;
  ASSERT_EQ(t->getBusCount(kAudio, kInput), 2);
  ASSERT_EQ(t->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(t->getBusCount(kEvent, kInput), 0);
  BusInfo info{};
  EXPECT_EQ(BusName(t.plug, kInput, 0, &info), "Main");
  EXPECT_EQ(info.busType, kMain);
  EXPECT_EQ(info.flags, static_cast<uint32>(BusInfo::kDefaultActive));
  EXPECT_EQ(info.channelCount, 2);
  EXPECT_EQ(BusName(t.plug, kInput, 1, &info), "Aux");
  EXPECT_EQ(info.busType, kAux);
  EXPECT_EQ(info.flags, 0u);
  EXPECT_EQ(BusName(t.plug, kOutput, 0), "Output");

  // Mono main, mono side-chain, mono output is layout "1.1-1".
  t->activateBus(kAudio, kOutput, 0, true);
  SpeakerArrangement in[3] = {SpeakerArr::kMono, SpeakerArr::kMono, SpeakerArr::kMono};
  SpeakerArrangement out[1] = {SpeakerArr::kMono};
  ASSERT_EQ(t->setBusArrangements(in, 2, out, 1), kResultOk);
  SpeakerArrangement arr = 0;
  t->getBusArrangement(kInput, 1, arr);
  EXPECT_EQ(arr, SpeakerArr::kMono);
  EXPECT_EQ(BusName(t.plug, kInput, 1), "Aux");
  EXPECT_EQ(BusName(t.plug, kOutput, 0, &info), "Output");
  EXPECT_EQ(info.channelCount, 1);
  // The rebuilt bus keeps the activation the host gave it.
  AudioBusBuffers dummy{};
  (void)dummy;
  SpeakerArrangement stereo[1] = {SpeakerArr::kStereo};
  ASSERT_EQ(t->setBusArrangements(stereo, 1, stereo, 1), kResultOk); // "2-2"
  EXPECT_EQ(t->getBusCount(kAudio, kInput), 1);
  EXPECT_EQ(BusName(t.plug, kInput, 0), "Input");

  // Too many buses, layouts nobody offers, and nonsense are refused.
  EXPECT_EQ(t->setBusArrangements(in, 3, out, 1), kResultFalse);
  SpeakerArrangement surround[1] = {SpeakerArr::k51};
  EXPECT_EQ(t->setBusArrangements(surround, 1, surround, 1), kResultFalse);
  EXPECT_EQ(t->setBusArrangements(nullptr, 2, out, 1), kResultFalse);
  EXPECT_EQ(t->setBusArrangements(in, -1, out, 1), kResultFalse);
}

TEST(IPlugVST3Processing, ArdourLayoutsAreAcceptedUnchanged)
{
  HostApplication ardour("Ardour 8.4");
  TestInstance t({}, &ardour);
  EXPECT_EQ(t->GetHost(), iplug::kHostArdour);
  SpeakerArrangement surround[1] = {SpeakerArr::k51};
  EXPECT_EQ(t->setBusArrangements(surround, 1, surround, 1), kResultOk);
  EXPECT_EQ(t->getBusCount(kAudio, kInput), 2);
}

TEST(IPlugVST3Processing, SetupProcessing)
{
  TestInstance t;
  EXPECT_EQ(t->canProcessSampleSize(kSample32), kResultOk);
  EXPECT_EQ(t->canProcessSampleSize(kSample64), kResultOk);
  EXPECT_EQ(t->canProcessSampleSize(2), kResultFalse);

  ProcessSetup setup{kRealtime, kSample64, 1000, 44100.0};
  const int resetsBefore = t->resets;
  ASSERT_EQ(t->setupProcessing(setup), kResultOk);
  EXPECT_EQ(t->resets, resetsBefore + 1);
  EXPECT_EQ(t->GetBlockSize(), 1000);
  EXPECT_DOUBLE_EQ(t->GetSampleRate(), 44100.0);
  EXPECT_EQ(t->GetMidiOutputQueueSize(), 1024);

  // Absurd setups are refused and leave the last good one in place.
  ProcessSetup bad = setup;
  bad.symbolicSampleSize = 7;
  EXPECT_EQ(t->setupProcessing(bad), kResultFalse);
  bad = setup;
  bad.maxSamplesPerBlock = -5;
  EXPECT_EQ(t->setupProcessing(bad), kResultFalse);
  bad.maxSamplesPerBlock = 0x7FFFFFFF;
  EXPECT_EQ(t->setupProcessing(bad), kResultFalse);
  bad = setup;
  bad.sampleRate = std::nan("");
  EXPECT_EQ(t->setupProcessing(bad), kResultFalse);
  EXPECT_EQ(t->GetBlockSize(), 1000);
  EXPECT_DOUBLE_EQ(t->GetSampleRate(), 44100.0);

  t->setProcessing(false);
  EXPECT_EQ(t->resets, resetsBefore + 2);
  t->setActive(true);
  t->setActive(false);
  EXPECT_EQ(t->activations, (std::vector<bool>{true, false}));
}

TEST(IPlugVST3Processing, ParameterQueuesApplyTheirLastPoint)
{
  TestInstance t;
  t.Start(kSample64);
  Buses<double> in({2}, 16), out({2}, 16);
  ProcessData data = MakeProcessData(in, out, 16);
  ParameterChanges changes;
  changes.Add(kTestSteps, {{0, 0.1}, {4, 0.2}, {9, 0.7}});
  changes.AddNull();
  changes.Add(kTestGain, {});                    // no point to read
  changes.Add(4242, {{0, 1.0}});                 // nobody's
  changes.Add(kTestSwitch, {{3, std::nan("")}}); // not a value
  changes.Add(kTestFreq, {{2, 7.5}});            // out of range: taken as 1
  data.inputParameterChanges = &changes;
  t->changes.clear();
  t->process(data);

  ASSERT_EQ(t->changes.size(), 2u);
  EXPECT_EQ(t->changes[0].idx, kTestSteps);
  EXPECT_EQ(t->changes[0].source, iplug::kHost);
  EXPECT_EQ(t->changes[0].offset, 9);
  EXPECT_DOUBLE_EQ(t->changes[0].value, 7.0);
  EXPECT_EQ(t->changes[1].idx, kTestFreq);
  EXPECT_DOUBLE_EQ(t->changes[1].value, 20000.0);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestGain)->Value(), 0.0);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestSwitch)->Value(), 0.0);
}

TEST(IPlugVST3Processing, HostBypassPassesAudioThrough)
{
  TestInstance t;
  t.Start(kSample64);
  Buses<double> in({2}, 8), out({2}, 8);
  for (int i = 0; i < 8; i++)
  {
    in.at(0, 0, i) = 0.1 * i;
    in.at(0, 1, i) = -0.05 * i;
  }
  auto run = [&](double bypass)
  {
    ProcessData data = MakeProcessData(in, out, 8);
    ParameterChanges changes;
    changes.Add(iplug::kVST3BypassParamID, {{0, bypass}});
    data.inputParameterChanges = &changes;
    t->process(data);
  };

  run(0.5); // exactly half is not bypassed
  EXPECT_FALSE(t->GetBypassed());
  EXPECT_DOUBLE_EQ(out.at(0, 0, 7), 1.4);

  run(0.51);
  EXPECT_TRUE(t->GetBypassed());
  for (int i = 0; i < 8; i++)
  {
    EXPECT_EQ(out.at(0, 0, i), in.at(0, 0, i));
    EXPECT_EQ(out.at(0, 1, i), in.at(0, 1, i));
  }

  run(0.0);
  EXPECT_FALSE(t->GetBypassed());
  EXPECT_DOUBLE_EQ(out.at(0, 1, 7), -0.7);
}

TEST(IPlugVST3Processing, ThirtyTwoAndSixtyFourBitProcessing)
{
  for (int32 size : {kSample32, kSample64})
  {
    TestInstance t;
    t.Start(size);
    if (size == kSample32)
    {
      Buses<float> in({2}, 32), out({2}, 32);
      in.Fill(0.25f);
      ProcessData data = MakeProcessData(in, out, 32);
      t->process(data);
      EXPECT_EQ(out.at(0, 0, 31), 0.5f);
      EXPECT_EQ(out.at(0, 1, 0), 0.5f);
    }
    else
    {
      Buses<double> in({2}, 32), out({2}, 32);
      in.Fill(0.25);
      ProcessData data = MakeProcessData(in, out, 32);
      t->process(data);
      EXPECT_EQ(out.at(0, 0, 31), 0.5);
    }
  }
}

TEST(IPlugVST3Processing, SidechainRouting)
{
  TestInstance t;
  t.Start(kSample64);
  Buses<double> in({2, 2}, 8), out({2}, 8);
  in.Fill(0.5);

  // Side-chain bus inactive: its channels stay disconnected and read the scratch buffers.
  ProcessData data = MakeProcessData(in, out, 8);
  t->process(data);
  EXPECT_EQ(t->connectedInputs, 2);
  EXPECT_EQ(t->lastSidechain, 0.0);

  t->activateBus(kAudio, kInput, 1, true);
  t->process(data);
  EXPECT_EQ(t->connectedInputs, 4);
  EXPECT_EQ(t->lastSidechain, 0.5);

  // Switched off again: the scratch buffers are cleared, so the plug-in hears silence, not stale audio.
  t->activateBus(kAudio, kInput, 1, false);
  t->process(data);
  EXPECT_EQ(t->connectedInputs, 2);
  EXPECT_EQ(t->lastSidechain, 0.0);

  // A host that passes only the main bus while the side-chain bus is active.
  t->activateBus(kAudio, kInput, 1, true);
  Buses<double> mainOnly({2}, 8);
  mainOnly.Fill(0.5);
  ProcessData data2 = MakeProcessData(mainOnly, out, 8);
  t->process(data2);
  EXPECT_EQ(t->connectedInputs, 2);
}

TEST(IPlugVST3Processing, InactiveOutputBusIsNotWritten)
{
  TestInstance t;
  t.Start(kSample64);
  t->activateBus(kAudio, kOutput, 0, false);
  Buses<double> in({2}, 8), out({2}, 8);
  in.Fill(0.5);
  out.Fill(-3.0);
  ProcessData data = MakeProcessData(in, out, 8);
  t->process(data);
  EXPECT_EQ(out.at(0, 0, 0), -3.0);
}

TEST(IPlugVST3Processing, HostileProcessData)
{
  TestInstance t;
  t.Start(kSample64, 16);
  Buses<double> in({2}, 100), out({2}, 100);
  in.Fill(0.25);

  // A block longer than the promised maximum is processed in full, in pieces.
  ProcessData data = MakeProcessData(in, out, 100);
  t->blocks.clear();
  t->process(data);
  EXPECT_EQ(t->blocks, (std::vector<int>{16, 16, 16, 16, 16, 16, 4}));
  for (int i = 0; i < 100; i++)
    ASSERT_EQ(out.at(0, 0, i), 0.5) << i;

  // No buffers at all, no samples, negative samples, an unknown sample size, claimed channels without buffers.
  ProcessData empty{};
  empty.symbolicSampleSize = kSample64;
  empty.numSamples = 16;
  empty.numInputs = 1;
  empty.numOutputs = 1;
  EXPECT_EQ(t->process(empty), kResultOk);
  AudioBusBuffers noBuffers[1]{};
  noBuffers[0].numChannels = 2;
  empty.inputs = noBuffers;
  empty.outputs = noBuffers;
  EXPECT_EQ(t->process(empty), kResultOk);
  data.numSamples = 0;
  EXPECT_EQ(t->process(data), kResultOk);
  data.numSamples = -20;
  EXPECT_EQ(t->process(data), kResultOk);
  data.numSamples = 8;
  data.symbolicSampleSize = 9;
  EXPECT_EQ(t->process(data), kResultOk);

  // Processing before any setup leaves silence.
  TestInstance fresh;
  fresh->activateBus(kAudio, kOutput, 0, true);
  ProcessData early = MakeProcessData(in, out, 100);
  EXPECT_EQ(fresh->process(early), kResultOk);
  EXPECT_EQ(out.at(0, 1, 99), 0.0);
}

TEST(IPlugVST3Processing, ProcessContextBecomesTransportInfo)
{
  TestInstance t;
  t.Start(kSample64);
  Buses<double> in({2}, 8), out({2}, 8);
  ProcessData data = MakeProcessData(in, out, 8);
  ProcessContext ctx{};
  ctx.state = ProcessContext::kPlaying | ProcessContext::kCycleActive | ProcessContext::kProjectTimeMusicValid;
  ctx.tempo = 96.0;
  ctx.projectTimeSamples = 48000;
  ctx.projectTimeMusic = 2.5;
  ctx.barPositionMusic = 2.0;
  ctx.cycleStartMusic = 1.0;
  ctx.cycleEndMusic = 9.0;
  ctx.timeSigNumerator = 7;
  ctx.timeSigDenominator = 8;
  data.processContext = &ctx;
  data.processMode = kOffline;
  t->process(data);

  const iplug::ITransportInfo& ti = t->GetTransportInfo();
  EXPECT_EQ(ti.mTempo, 96.0);
  EXPECT_EQ(ti.mSamplePos, 48000.0);
  EXPECT_EQ(ti.mPPQPos, 2.5);
  EXPECT_EQ(ti.mLastBar, 2.0);
  EXPECT_EQ(ti.mCycleStart, 1.0);
  EXPECT_EQ(ti.mCycleEnd, 9.0);
  EXPECT_EQ(ti.mNumerator, 7);
  EXPECT_EQ(ti.mDenominator, 8);
  EXPECT_TRUE(ti.mTransportIsRunning);
  EXPECT_TRUE(ti.mTransportLoopEnabled);
  EXPECT_FALSE(t->GetRenderingOffline()); // the mode comes from the setup, which is real-time

  // Without the musical-time flag the sample position is unknown; the PPQ position is still copied.
  ctx.state = 0;
  ctx.projectTimeMusic = 3.0;
  t->process(data);
  EXPECT_EQ(t->GetTransportInfo().mSamplePos, -1.0);
  EXPECT_EQ(t->GetTransportInfo().mPPQPos, 3.0);
  EXPECT_FALSE(t->GetTransportInfo().mTransportIsRunning);

  // A block without a context keeps the last one.
  data.processContext = nullptr;
  t->process(data);
  EXPECT_EQ(t->GetTransportInfo().mPPQPos, 3.0);
  EXPECT_EQ(t->GetTransportInfo().mTempo, 96.0);
}

TEST(IPlugVST3Processing, MidiControllerParametersBecomeMessages)
{
  TestPlugOptions o;
  o.midiIn = true;
  TestInstance t(o);
  t.Start(kSample64);
  Buses<double> in({2}, 8), out({2}, 8);
  ProcessData data = MakeProcessData(in, out, 8);
  ParameterChanges changes;
  changes.Add(iplug::kVST3MIDICCParamStartID + 7, {{3, 1.0}});
  changes.Add(iplug::kVST3MIDICCParamStartID + kPitchBend, {{0, 0.0}, {5, 1.0}});
  changes.Add(iplug::kVST3MIDICCParamStartID + kAfterTouch, {{1, 0.5}});
  changes.Add(iplug::kVST3MIDICCParamStartID + 130 * 40, {{1, 0.5}}); // no such channel
  data.inputParameterChanges = &changes;
  t->process(data);

  ASSERT_EQ(t->midiIn.size(), 3u);
  EXPECT_EQ(t->midiIn[0].mStatus, 0xB0);
  EXPECT_EQ(t->midiIn[0].mData1, 7);
  EXPECT_EQ(t->midiIn[0].mData2, 127);
  EXPECT_EQ(t->midiIn[0].mOffset, 3);
  EXPECT_EQ(t->midiIn[1].mStatus, 0xE0);
  EXPECT_EQ(t->midiIn[1].mData1, 0x7F); // 16383: top of the range
  EXPECT_EQ(t->midiIn[1].mData2, 0x7F);
  EXPECT_EQ(t->midiIn[2].mStatus, 0xD0);
  EXPECT_EQ(t->midiIn[2].mData1, 63);
  // The editor hears of them too.
  iplug::IMidiMsg m;
  int n = 0;
  while (t->mMidiMsgsFromProcessor.Pop(m))
    n++;
  EXPECT_EQ(n, 3);
}

TEST(IPlugVST3Processing, MidiInAndOut)
{
  TestPlugOptions o;
  o.midiIn = true;
  o.midiOut = true;
  TestInstance t(o);
  EXPECT_EQ(t->getBusCount(kEvent, kInput), 1);
  EXPECT_EQ(t->getBusCount(kEvent, kOutput), 1);
  t.Start(kSample64);

  Buses<double> in({2}, 8), out({2}, 8);
  ProcessData data = MakeProcessData(in, out, 8);
  EventList events, outEvents;
  Event e{};
  e.type = Event::kNoteOnEvent;
  e.sampleOffset = 2;
  e.noteOn.channel = 3;
  e.noteOn.pitch = 60;
  e.noteOn.velocity = 1.0f;
  events.events.push_back(e);
  e.type = Event::kNoteOffEvent;
  e.sampleOffset = 5;
  e.noteOff.channel = 3;
  e.noteOff.pitch = 60;
  events.events.push_back(e);
  static const uint8 sysex[] = {0xF0, 0x7E, 0xF7};
  e.type = Event::kDataEvent;
  e.data.bytes = sysex;
  e.data.size = 3;
  e.data.type = DataEvent::kMidiSysEx;
  events.events.push_back(e);
  data.inputEvents = &events;
  data.outputEvents = &outEvents;

  // Messages from the editor are processed after the host's; the plug-in's output is ordered by offset.
  t->mMidiMsgsFromEditor.Push(iplug::IMidiMsg(0, 0xB1, 1, 64));
  t->midiToSend = {iplug::IMidiMsg(6, 0x90, 64, 127), iplug::IMidiMsg(1, 0xB2, 10, 20),
                   iplug::IMidiMsg(6, 0xE0, 0, 0x40), iplug::IMidiMsg(0, 0xF8, 0, 0)};
  iplug::ISysEx fromUI(0, sysex, 3);
  t->SendSysexMsgFromUI(fromUI);
  t->SendSysexMsgFromUI(fromUI);
  t->process(data);

  ASSERT_EQ(t->midiIn.size(), 3u);
  EXPECT_EQ(t->midiIn[0].mStatus, 0x93);
  EXPECT_EQ(t->midiIn[0].mData2, 127);
  EXPECT_EQ(t->midiIn[1].mStatus, 0x83);
  EXPECT_EQ(t->midiIn[1].mOffset, 5);
  EXPECT_EQ(t->midiIn[2].mStatus, 0xB1);
  ASSERT_EQ(t->sysexIn.size(), 1u);
  EXPECT_EQ(t->sysexIn[0], (std::vector<uint8_t>{0xF0, 0x7E, 0xF7}));

  // Three convertible messages in offset order (the clock message has no event), then one system-exclusive
  // message: the second waits for the next block, as both would point into the same scratch record.
  ASSERT_EQ(outEvents.events.size(), 4u);
  EXPECT_EQ(outEvents.events[0].type, Event::kLegacyMIDICCOutEvent);
  EXPECT_EQ(outEvents.events[0].midiCCOut.controlNumber, 10);
  EXPECT_EQ(outEvents.events[0].midiCCOut.channel, 2);
  EXPECT_EQ(outEvents.events[0].midiCCOut.value, 20);
  EXPECT_EQ(outEvents.events[1].type, Event::kNoteOnEvent);
  EXPECT_EQ(outEvents.events[1].noteOn.pitch, 64);
  EXPECT_FLOAT_EQ(outEvents.events[1].noteOn.velocity, 1.0f);
  EXPECT_EQ(outEvents.events[2].midiCCOut.controlNumber, kPitchBend);
  EXPECT_EQ(outEvents.events[2].midiCCOut.value, 0);
  EXPECT_EQ(outEvents.events[2].midiCCOut.value2, 0);
  EXPECT_EQ(outEvents.events[3].type, Event::kDataEvent);
  EXPECT_EQ(outEvents.dataCopies[0], (std::vector<uint8>{0xF0, 0x7E, 0xF7}));

  outEvents.events.clear();
  data.inputEvents = nullptr;
  t->process(data);
  ASSERT_EQ(outEvents.events.size(), 1u);
  EXPECT_EQ(outEvents.events[0].type, Event::kDataEvent);
}

TEST(IPlugVST3Processing, PluginWithoutMidiOutQueuesNothing)
{
  TestInstance t;
  t.Start(kSample64);
  EXPECT_FALSE(t->SendMidiMsg(iplug::IMidiMsg(0, 0x90, 60, 100)));
}
