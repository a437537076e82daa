#pragma once
// A small effect on the VST3 binding that records what the binding calls on it. Its processing doubles the main
// channels, so processed and passed-through audio can be told apart.

#include "IPlugVST3.h"
#include "VST3TestHost.h"

#include <string>
#include <vector>

struct TestPlugOptions
{
  bool midiIn = false;
  bool midiOut = false;
  int type = 0;
  int nPresets = 1;
  const char* io = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";
};

enum ETestParams
{
  kTestGain = 0, // double, -12..12 dB, step 0.1
  kTestSteps,    // int 0..10
  kTestMode,     // enum A/B/C, group "Modes"
  kTestHidden,   // not automatable, group "Modes"
  kTestFreq,     // pow 2 curve, group "Filter"
  kTestSwitch,   // bool
  kNumTestParams
};

class TestPlugVST3 : public iplug::IPlugVST3
{
public:
  static iplug::Config MakeConfig(const TestPlugOptions& o)
  {
    iplug::Config c;
    c.nParams = kNumTestParams;
    c.nPresets = o.nPresets;
    c.channelIOStr = o.io;
    c.pluginName = "TestPlug";
    c.productName = "TestPlug";
    c.mfrName = "Quillmere";
    c.vendorVersion = 0x10000;
    c.uniqueID = iplug::FourCC("TsPl");
    c.mfrID = iplug::FourCC("Qlmr");
    c.plugDoesMidiIn = o.midiIn;
    c.plugDoesMidiOut = o.midiOut;
    c.plugDoesChunks = true;
    c.plugType = o.type;
    c.plugHasUI = true;
    c.plugWidth = 300;
    c.plugHeight = 200;
    c.bundleID = "com.Quillmere.vst3.TestPlug";
    return c;
  }

  explicit TestPlugVST3(const TestPlugOptions& o = {}) : IPlugVST3(iplug::InstanceInfo(), MakeConfig(o))
  {
    using iplug::IParam;
    GetParam(kTestGain)->InitDouble("Gain", 0., -12., 12., 0.1, "dB");
    GetParam(kTestSteps)->InitInt("Steps", 5, 0, 10, "st");
    GetParam(kTestMode)->InitEnum("Mode", 1, {"A", "B", "C"}, 0, "Modes");
    GetParam(kTestHidden)->InitDouble("Hidden", 0.5, 0., 1., 0.01, "", IParam::kParamCannotAutomate, "Modes");
    GetParam(kTestFreq)->InitDouble("Freq", 1000., 20., 20000., 1., "Hz", 0, "Filter", IParam::ShapePowCurve(2.0));
    GetParam(kTestSwitch)->InitBool("Switch", false);
  }

  // Widened access for the tests.
  using IPlugAPIBase::mMidiMsgsFromEditor;
  using IPlugAPIBase::mMidiMsgsFromProcessor;
  using IPlugAPIBase::mSysExDataFromEditor;
  using IPlugProcessor::NChannelsConnected;

  void ProcessBlock(iplug::sample** inputs, iplug::sample** outputs, int nFrames) override
  {
    blocks.push_back(nFrames);
    for (int c = 0; c < 2; c++)
      for (int i = 0; i < nFrames; i++)
        outputs[c][i] = inputs[c][i] * 2.0;
    lastSidechain = nFrames > 0 ? inputs[2][nFrames - 1] : 0.0;
    connectedInputs = NChannelsConnected(iplug::kInput);
    for (auto& m : midiToSend)
      SendMidiMsg(m);
    midiToSend.clear();
    if (latencyToSet >= 0)
    {
      SetLatency(latencyToSet);
      latencyToSet = -1;
    }
  }

  void OnParamChange(int idx, iplug::EParamSource source, int offset) override
  {
    changes.push_back({idx, source, offset, GetParam(idx)->Value()});
  }
  void OnParamChangeUI(int idx, iplug::EParamSource source) override { uiChanges.push_back({idx, source, 0, 0.0}); }
  void ProcessMidiMsg(const iplug::IMidiMsg& msg) override { midiIn.push_back(msg); }
  void ProcessSysEx(iplug::ISysEx& msg) override { sysexIn.emplace_back(msg.mData, msg.mData + msg.mSize); }
  void OnReset() override { resets++; }
  void OnActivate(bool active) override { activations.push_back(active); }

  struct Change
  {
    int idx;
    iplug::EParamSource source;
    int offset;
    double value;
  };
  std::vector<Change> changes;
  std::vector<Change> uiChanges;
  std::vector<iplug::IMidiMsg> midiIn;
  std::vector<iplug::IMidiMsg> midiToSend;
  std::vector<std::vector<uint8_t>> sysexIn;
  std::vector<int> blocks;
  std::vector<bool> activations;
  int resets = 0;
  int connectedInputs = 0;
  double lastSidechain = 0.0;
  int latencyToSet = -1;
};

/** Owns a TestPlugVST3 through its reference count, initialised as a host does it. */
struct TestInstance
{
  explicit TestInstance(const TestPlugOptions& o = {}, Steinberg::FUnknown* context = nullptr)
      : plug(new TestPlugVST3(o))
  {
    plug->initialize(context ? context : &defaultHost);
    plug->setComponentHandler(&handler);
  }
  ~TestInstance()
  {
    plug->setComponentHandler(nullptr);
    plug->terminate();
    plug->release();
  }
  TestPlugVST3* operator->() { return plug; }

  /** setupProcessing, main buses on, processing started. */
  void Start(Steinberg::int32 sampleSize, Steinberg::int32 maxBlock = 64, double rate = 48000.0)
  {
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, sampleSize, maxBlock, rate};
    plug->setupProcessing(setup);
    plug->activateBus(Steinberg::Vst::kAudio, Steinberg::Vst::kInput, 0, true);
    plug->activateBus(Steinberg::Vst::kAudio, Steinberg::Vst::kOutput, 0, true);
    plug->setActive(true);
    plug->setProcessing(true);
  }

  // The host's objects outlive the plug-in, which holds references to them until terminate.
  vst3test::HostApplication defaultHost;
  vst3test::ComponentHandler handler;
  TestPlugVST3* plug;
};
