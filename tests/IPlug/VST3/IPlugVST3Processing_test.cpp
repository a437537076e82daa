// The processing bridge as a host drives it: setup, bus layouts, parameter queues, bypass, routing with the
// side-chain, MIDI in and out, transport, and process data no host should send.

#include "TestPlugVST3.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vst3test;

TEST(IPlugVST3Processing, BusesAndArrangements)
{
  TestInstance t;
  BusInfo info{};
  ASSERT_EQ(t->getBusCount(kAudio, kInput), 2);
  t->getBusInfo(kAudio, kInput, 1, info);
  EXPECT_EQ(Str(info.name), "Aux");
  EXPECT_EQ(info.busType, kAux);
  EXPECT_EQ(info.flags, 0u);

  // Mono main, mono side-chain, mono output is layout "1.1-1"; the output keeps the activation it had.
  t->activateBus(kAudio, kOutput, 0, true);
  SpeakerArrangement mono[3] = {SpeakerArr::kMono, SpeakerArr::kMono, SpeakerArr::kMono};
  ASSERT_EQ(t->setBusArrangements(mono, 2, mono, 1), kResultOk);
  t->getBusInfo(kAudio, kOutput, 0, info);
  EXPECT_EQ(info.channelCount, 1);
  ProcessSetup setup{kRealtime, kSample64, 8, 48000.0};
  t->setupProcessing(setup);
  Buses<double> in({1}, 8), out({1}, 8);
  in.Fill(1.0);
  ProcessData data = MakeProcessData(in, out, 8);
  t->process(data);
  EXPECT_EQ(out.at(0, 0, 7), 2.0);

  SpeakerArrangement surround[1] = {SpeakerArr::k51};
  EXPECT_EQ(t->setBusArrangements(mono, 3, mono, 1), kResultFalse);
  EXPECT_EQ(t->setBusArrangements(surround, 1, surround, 1), kResultFalse);
  EXPECT_EQ(t->setBusArrangements(nullptr, 2, mono, 1), kResultFalse);
  EXPECT_EQ(t->setBusArrangements(mono, -1, mono, 1), kResultFalse);

  // Ardour's requests are accepted as they are.
  NamedHost ardour("Ardour 8.4");
  TestInstance a({}, &ardour);
  EXPECT_EQ(a->setBusArrangements(surround, 1, surround, 1), kResultOk);
  EXPECT_EQ(a->getBusCount(kAudio, kInput), 2);
}

TEST(IPlugVST3Processing, SetupProcessing)
{
  TestInstance t;
  EXPECT_EQ(t->canProcessSampleSize(kSample32), kResultOk);
  EXPECT_EQ(t->canProcessSampleSize(2), kResultFalse);
  const int resets = t->resets;
  ProcessSetup setup{kRealtime, kSample64, 1000, 44100.0};
  ASSERT_EQ(t->setupProcessing(setup), kResultOk);
  EXPECT_EQ(t->resets, resets + 1);
  EXPECT_EQ(t->GetBlockSize(), 1000);
  EXPECT_EQ(t->GetMidiOutputQueueSize(), 1024);

  // Setups no host should ask for are refused and leave the last good one.
  for (ProcessSetup bad :
       {ProcessSetup{kRealtime, 7, 64, 48000.0}, ProcessSetup{kRealtime, kSample32, -5, 48000.0},
        ProcessSetup{kRealtime, kSample32, 0x7FFFFFFF, 48000.0}, ProcessSetup{kRealtime, kSample32, 64, std::nan("")}})
    EXPECT_EQ(t->setupProcessing(bad), kResultFalse);
  EXPECT_EQ(t->GetBlockSize(), 1000);
  EXPECT_DOUBLE_EQ(t->GetSampleRate(), 44100.0);

  t->setProcessing(false);
  EXPECT_EQ(t->resets, resets + 2);
}

TEST(IPlugVST3Processing, ParameterQueuesAndBypass)
{
  TestInstance t;
  t.Start(kSample64);
  t->changes.clear();
  int32 idx = 0;
  Buses<double> in({2}, 16), out({2}, 16);
  ProcessData data = MakeProcessData(in, out, 16);
  ParameterChanges changes;
  changes.Add(kTestSteps, 0, 0.1);
  changes.Add(kTestSteps, 4, 0.2);
  changes.Add(kTestSteps, 9, 0.7);
  changes.addParameterData(kTestGain, idx); // a queue without points
  changes.Add(4242, 0, 1.0);                // nobody's
  changes.Add(kTestSwitch, 3, std::nan(""));
  changes.Add(kTestFreq, 2, 7.5); // taken as 1
  data.inputParameterChanges = &changes;
  t->process(data);
  ASSERT_EQ(t->changes.size(), 2u);
  EXPECT_EQ(t->changes[0].idx, kTestSteps);
  EXPECT_EQ(t->changes[0].source, iplug::kHost);
  EXPECT_EQ(t->changes[0].offset, 9);
  EXPECT_DOUBLE_EQ(t->changes[0].value, 7.0);
  EXPECT_DOUBLE_EQ(t->changes[1].value, 20000.0);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestSwitch)->Value(), 0.0);

  // The host's bypass switch: above one half passes the audio through untouched.
  for (int i = 0; i < 16; i++)
    in.at(0, 0, i) = in.at(0, 1, i) = 0.1 * i;
  for (double bypass : {0.5, 0.51, 0.0})
  {
    ParameterChanges b;
    b.Add(iplug::kVST3BypassParamID, 0, bypass);
    data.inputParameterChanges = &b;
    t->process(data);
    EXPECT_EQ(t->GetBypassed(), bypass > 0.5);
    EXPECT_EQ(out.at(0, 1, 15), bypass > 0.5 ? in.at(0, 1, 15) : 2.0 * in.at(0, 1, 15));
  }
}

TEST(IPlugVST3Processing, Routing)
{
  TestInstance t;
  t.Start(kSample64);
  Buses<double> in({2, 2}, 8), out({2}, 8);
  in.Fill(0.5);
  ProcessData data = MakeProcessData(in, out, 8);

  t->process(data); // side-chain bus inactive: its channels read the (silent) scratch buffers
  EXPECT_EQ(t->connectedInputs, 2);
  EXPECT_EQ(t->lastSidechain, 0.0);
  t->activateBus(kAudio, kInput, 1, true);
  t->process(data);
  EXPECT_EQ(t->connectedInputs, 4);
  EXPECT_EQ(t->lastSidechain, 0.5);
  t->activateBus(kAudio, kInput, 1, false); // switched off: silence, not the stale block
  t->process(data);
  EXPECT_EQ(t->lastSidechain, 0.0);

  // An inactive output bus renders into scratch and leaves the host's buffer alone.
  t->activateBus(kAudio, kOutput, 0, false);
  out.Fill(-3.0);
  t->process(data);
  EXPECT_EQ(out.at(0, 0, 0), -3.0);

  // 32-bit hosts: converted in and out.
  TestInstance f;
  f.Start(kSample32);
  Buses<float> in32({2}, 32), out32({2}, 32);
  in32.Fill(0.25f);
  ProcessData data32 = MakeProcessData(in32, out32, 32);
  f->process(data32);
  EXPECT_EQ(out32.at(0, 1, 31), 0.5f);
}

TEST(IPlugVST3Processing, ProcessDataNoHostShouldSend)
{
  TestInstance t;
  t.Start(kSample64, 16);
  Buses<double> in({2}, 100), out({2}, 100);
  in.Fill(0.25);

  // A block longer than promised is processed in full, in pieces.
  ProcessData data = MakeProcessData(in, out, 100);
  t->blocks.clear();
  t->process(data);
  EXPECT_EQ(t->blocks, (std::vector<int>{16, 16, 16, 16, 16, 16, 4}));
  EXPECT_EQ(out.at(0, 0, 99), 0.5);

  ProcessData empty{};
  empty.symbolicSampleSize = kSample64;
  empty.numSamples = 16;
  empty.numInputs = empty.numOutputs = 1; // but no bus arrays
  EXPECT_EQ(t->process(empty), kResultOk);
  AudioBusBuffers noBuffers[1]{};
  noBuffers[0].numChannels = 2;
  empty.inputs = empty.outputs = noBuffers;
  EXPECT_EQ(t->process(empty), kResultOk);
  for (int32 n : {0, -20})
  {
    data.numSamples = n;
    EXPECT_EQ(t->process(data), kResultOk);
  }
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
  ProcessContext ctx{};
  ctx.state = ProcessContext::kPlaying | ProcessContext::kProjectTimeMusicValid;
  ctx.tempo = 96.0;
  ctx.projectTimeSamples = 48000;
  ctx.projectTimeMusic = 2.5;
  ctx.timeSigNumerator = 7;
  Buses<double> in({2}, 8), out({2}, 8);
  ProcessData data = MakeProcessData(in, out, 8);
  data.processContext = &ctx;
  t->process(data);
  const iplug::ITransportInfo& ti = t->GetTransportInfo();
  EXPECT_EQ(ti.mSamplePos, 48000.0);
  EXPECT_EQ(ti.mNumerator, 7);
  EXPECT_TRUE(ti.mTransportIsRunning);
  EXPECT_FALSE(ti.mTransportLoopEnabled);

  // Without the musical-time flag the sample position is unknown; a block without a context keeps the last.
  ctx.state = 0;
  ctx.projectTimeMusic = 3.0;
  t->process(data);
  data.processContext = nullptr;
  t->process(data);
  EXPECT_EQ(ti.mSamplePos, -1.0);
  EXPECT_EQ(ti.mPPQPos, 3.0);
  EXPECT_EQ(ti.mTempo, 96.0);
}

TEST(IPlugVST3Processing, Midi)
{
  TestPlugOptions o;
  o.midiIn = o.midiOut = true;
  TestInstance t(o);
  t.Start(kSample64);
  Buses<double> in({2}, 8), out({2}, 8);
  ProcessData data = MakeProcessData(in, out, 8);
  ParameterChanges cc; // controller parameters become messages
  cc.Add(iplug::kVST3MIDICCParamStartID + 7, 3, 1.0);
  cc.Add(iplug::kVST3MIDICCParamStartID + kPitchBend, 0, 1.0);
  cc.Add(iplug::kVST3MIDICCParamStartID + 130 * 40, 1, 0.5); // no such channel
  EventList events(8), outEvents(8);
  Event e{};
  e.type = Event::kNoteOnEvent;
  e.noteOn = {3, 60, 0.f, 1.0f, 0, -1};
  events.addEvent(e);
  static const uint8 sysex[] = {0xF0, 0x7E, 0xF7};
  e.type = Event::kDataEvent;
  e.data = {3, DataEvent::kMidiSysEx, sysex};
  events.addEvent(e);
  data.inputParameterChanges = &cc;
  data.inputEvents = &events;
  data.outputEvents = &outEvents;
  t->mMidiMsgsFromEditor.Push(iplug::IMidiMsg(0, 0xB1, 1, 64));
  t->midiToSend = {iplug::IMidiMsg(6, 0x90, 64, 127), iplug::IMidiMsg(1, 0xB2, 10, 20), iplug::IMidiMsg(0, 0xF8, 0, 0)};
  iplug::ISysEx fromEditor(0, sysex, 3);
  t->SendSysexMsgFromUI(fromEditor);
  t->SendSysexMsgFromUI(fromEditor);
  t->process(data);

  // In: controllers, host events, then the editor's messages; the editor hears of the first three.
  ASSERT_EQ(t->midiIn.size(), 4u);
  EXPECT_EQ(t->midiIn[0].mStatus, 0xB0);
  EXPECT_EQ(t->midiIn[0].mData2, 127);
  EXPECT_EQ(t->midiIn[0].mOffset, 3);
  EXPECT_EQ(t->midiIn[1].mStatus, 0xE0);
  EXPECT_EQ(t->midiIn[1].mData2, 0x7F);
  EXPECT_EQ(t->midiIn[2].mStatus, 0x93);
  EXPECT_EQ(t->midiIn[3].mStatus, 0xB1);
  EXPECT_EQ(t->sysexIn.size(), 1u);
  EXPECT_EQ(t->mMidiMsgsFromProcessor.ElementsAvailable(), 3u);

  // Out: in offset order (a clock message has no event), then one system-exclusive message; a second would
  // overwrite the bytes the first points to, so it waits for the next block.
  const auto& sent = outEvents.Events();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].midiCCOut.controlNumber, 10);
  EXPECT_EQ(sent[0].midiCCOut.channel, 2);
  EXPECT_EQ(sent[1].type, Event::kNoteOnEvent);
  EXPECT_EQ(sent[2].type, Event::kDataEvent);
  EXPECT_EQ(sent[2].data.bytes[1], 0x7E);
  outEvents.Clear();
  data.inputEvents = nullptr;
  data.inputParameterChanges = nullptr;
  t->process(data);
  EXPECT_EQ(outEvents.Events().size(), 1u);

  TestInstance quiet; // a plug-in that sends no MIDI queues nothing
  EXPECT_FALSE(quiet->SendMidiMsg(iplug::IMidiMsg(0, 0x90, 60, 100)));
}
