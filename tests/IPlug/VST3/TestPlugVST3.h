#pragma once
// A small effect on the VST3 binding that records what the binding calls on it. It doubles the main channels, so
// processed and passed-through audio can be told apart.

#include "IPlugVST3.h"
#include "VST3TestHost.h"

#include <vector>

struct TestPlugOptions
{
  bool midiIn = false;
  bool midiOut = false;
  int type = 0;
};

enum ETestParams
{
  kTestGain = 0, // double -12..12 dB, step 0.1
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
    c.nPresets = 1;
    c.channelIOStr = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";
    c.plugDoesMidiIn = o.midiIn;
    c.plugDoesMidiOut = o.midiOut;
    c.plugType = o.type;
    c.plugHasUI = true;
    c.plugWidth = 300;
    c.plugHeight = 200;
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

  using IPlugAPIBase::mMidiMsgsFromEditor;
  void SetView(Steinberg::IPlugView* view) { mView = view; }
  using IPlugAPIBase::mMidiMsgsFromProcessor;

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
      SetLatency(std::exchange(latencyToSet, -1));
  }
  void OnParamChange(int idx, iplug::EParamSource source, int offset) override
  {
    changes.push_back({idx, source, offset, GetParam(idx)->Value()});
  }
  void OnParamChangeUI(int idx, iplug::EParamSource source) override { uiChanges.push_back({idx, source, 0, 0.0}); }
  void ProcessMidiMsg(const iplug::IMidiMsg& msg) override { midiIn.push_back(msg); }
  void ProcessSysEx(iplug::ISysEx& msg) override { sysexIn.emplace_back(msg.mData, msg.mData + msg.mSize); }
  void OnReset() override { resets++; }

  struct Change
  {
    int idx;
    iplug::EParamSource source;
    int offset;
    double value;
  };
  std::vector<Change> changes, uiChanges;
  std::vector<iplug::IMidiMsg> midiIn, midiToSend;
  std::vector<std::vector<uint8_t>> sysexIn;
  std::vector<int> blocks;
  int resets = 0;
  int connectedInputs = 0;
  double lastSidechain = 0.0;
  int latencyToSet = -1;
};

/** A TestPlugVST3 owned through its reference count and initialised as a host does it. */
struct TestInstance
{
  explicit TestInstance(const TestPlugOptions& o = {}, Steinberg::FUnknown* context = nullptr)
      : plug(new TestPlugVST3(o))
  {
    plug->initialize(context ? context : &defaultHost);
    plug->setComponentHandler(handler);
  }
  ~TestInstance()
  {
    plug->setComponentHandler(nullptr);
    plug->terminate();
    plug->release();
  }
  TestPlugVST3* operator->() { return plug; }

  /** setupProcessing, main buses on, processing started. */
  void Start(Steinberg::int32 sampleSize, Steinberg::int32 maxBlock = 64)
  {
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, sampleSize, maxBlock, 48000.0};
    plug->setupProcessing(setup);
    plug->activateBus(Steinberg::Vst::kAudio, Steinberg::Vst::kInput, 0, true);
    plug->activateBus(Steinberg::Vst::kAudio, Steinberg::Vst::kOutput, 0, true);
    plug->setActive(true);
    plug->setProcessing(true);
  }

  /** One 64-bit block of silence carrying these parameter changes (id, offset, value). */
  void Automate(std::vector<std::tuple<Steinberg::Vst::ParamID, Steinberg::int32, double>> points, int nFrames = 16)
  {
    vst3test::Buses<double> in({2}, nFrames), out({2}, nFrames);
    Steinberg::Vst::ProcessData data = vst3test::MakeProcessData(in, out, nFrames);
    vst3test::ParameterChanges changes;
    for (auto& [id, offset, value] : points)
      changes.Add(id, offset, value);
    data.inputParameterChanges = &changes;
    plug->process(data);
  }

  // The host's objects outlive the plug-in, which holds references to them until terminate.
  vst3test::NamedHost defaultHost;
  Steinberg::IPtr<vst3test::ComponentHandler> handler = Steinberg::owned(new vst3test::ComponentHandler);
  TestPlugVST3* plug;
};
