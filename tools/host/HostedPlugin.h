// One instance of a VST3 effect, hosted the way a DAW hosts it: created from the module's factory, initialized
// with the host context, its controller found (single component) or created and connected (separate class),
// buses arranged and activated, processing set up and run block by block, state saved and restored.
//
// Typical use:
//   std::string error;
//   auto module = HostModule::Load("Brevant.vst3", error);
//   auto plug = HostedPlugin::Create(module, error);              // first audio effect of the module
//   plug->SetBusArrangements({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo});
//   plug->ActivateBus(kAudio, kInput, 1, true);                   // side-chain
//   plug->SetParamPlain(plug->FindParam("Gain")->id, -6.0);
//   plug->Setup(48000.0, 512, kSample64);
//   plug->Start();
//   plug->Process(n, inPtrs, outPtrs, sidechainPtrs);              // double* channel lists
//   plug->Stop();
#pragma once

#include "HostModule.h"
#include "HostObjects.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brevant::host
{

struct BusDescription
{
  std::string name;
  Steinberg::int32 channels = 0;
  Steinberg::Vst::SpeakerArrangement arrangement = 0; // audio buses
  bool isMain = false;
  bool defaultActive = false;
  Steinberg::uint32 flags = 0;
};

struct ParamDescription
{
  Steinberg::Vst::ParamID id = 0;
  std::string title, shortTitle, units;
  Steinberg::int32 stepCount = 0;
  double defaultNormalized = 0.0;
  Steinberg::int32 flags = 0;
  Steinberg::Vst::UnitID unitId = 0;
};

class HostedPlugin
{
public:
  // Creates the given class of the module, or its first audio effect. Null with a message in `error` on failure.
  static std::unique_ptr<HostedPlugin> Create(std::shared_ptr<HostModule> module, const ClassInfo& cls,
                                              std::string& error);
  static std::unique_ptr<HostedPlugin> Create(std::shared_ptr<HostModule> module, std::string& error);
  // Stops processing if needed, disconnects, terminates and releases everything.
  ~HostedPlugin();

  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  //--- The plug-in's interfaces (owned here; do not release)
  Steinberg::Vst::IComponent* Component() const { return mComponent; }
  Steinberg::Vst::IAudioProcessor* Processor() const { return mProcessor; }
  Steinberg::Vst::IEditController* Controller() const { return mController; } // may be null
  bool IsSingleComponent() const { return mSingleComponent; }
  const ClassInfo& Class() const { return mClass; }
  ComponentHandler& Handler() { return *mHandler; }
  // Why the last failing call failed.
  const std::string& LastError() const { return mError; }

  //--- Buses
  std::vector<BusDescription> Buses(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir) const;
  Steinberg::int32 BusChannels(Steinberg::Vst::BusDirection dir, Steinberg::int32 index) const; // audio
  // Asks for these audio arrangements (inputs, outputs); then activates the buses that are default-active.
  // Only while not started.
  bool SetBusArrangements(std::vector<Steinberg::Vst::SpeakerArrangement> inputs,
                          std::vector<Steinberg::Vst::SpeakerArrangement> outputs);
  bool ActivateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                   bool active);

  //--- Parameters (through the controller)
  std::vector<ParamDescription> Params() const;
  // By title: exact (a plug-in parameter before the host bypass of the same title), else ignoring case,
  // else by short title; "#ID" by id.
  std::optional<ParamDescription> FindParam(const std::string& title) const;
  double GetParamNormalized(Steinberg::Vst::ParamID id) const;
  double NormalizedToPlain(Steinberg::Vst::ParamID id, double normalized) const;
  double PlainToNormalized(Steinberg::Vst::ParamID id, double plain) const; // clamped to 0..1
  std::string ParamValueText(Steinberg::Vst::ParamID id, double normalized) const;
  // Sets the value on the controller and queues it for the processor at the start of the next block.
  bool SetParamNormalized(Steinberg::Vst::ParamID id, double normalized);
  bool SetParamPlain(Steinberg::Vst::ParamID id, double plain);
  // Queues a point for the next block only (automation within a block); offset in samples from its start.
  bool QueueParamChange(Steinberg::Vst::ParamID id, double normalized, Steinberg::int32 sampleOffset = 0);
  // Whether values the controller performs (its own edits) are sent on to the processor, as a DAW does. On.
  void SetForwardEdits(bool forward) { mForwardEdits = forward; }

  //--- Processing
  // symbolicSampleSize: Steinberg::Vst::kSample32 or kSample64; processMode: kRealtime, kPrefetch or kOffline.
  bool Setup(double sampleRate, Steinberg::int32 maxBlockSize,
             Steinberg::int32 symbolicSampleSize = Steinberg::Vst::kSample32,
             Steinberg::int32 processMode = Steinberg::Vst::kRealtime);
  bool Start(); // setActive(true), setProcessing(true)
  void Stop();  // setProcessing(false), setActive(false)
  bool IsStarted() const { return mStarted; }
  const Steinberg::Vst::ProcessSetup& GetProcessSetup() const { return mSetup; }

  // One block of numSamples (0..maxBlockSize). Channel lists for input bus 0, output bus 0 and input bus 1 (the
  // side-chain); channels a list does not cover, and every other bus, get silence in and scratch out. The
  // overload must match the sample size given to Setup. False if the call is refused or process fails.
  bool Process(Steinberg::int32 numSamples, std::span<float* const> in, std::span<float* const> out,
               std::span<float* const> sidechain = {});
  bool Process(Steinberg::int32 numSamples, std::span<double* const> in, std::span<double* const> out,
               std::span<double* const> sidechain = {});
  Steinberg::tresult LastProcessResult() const { return mLastProcessResult; }
  // The silence flags the plug-in set on an output bus in the last block (bit c: channel c holds only zeros).
  // Inputs the host fills with silence itself are flagged silent when sent.
  Steinberg::uint64 OutputSilenceFlags(Steinberg::int32 bus) const;
  // Main-thread work between blocks: advances the host's run loop (shared by every instance) by ms and runs the
  // plug-in timers that fell due, e.g. meter readings and latency changes handed over from the audio thread. A
  // render calls it after each block with the block's duration.
  void Idle(double ms);
  // Transport sent with each block; the sample and musical positions advance after every block.
  Steinberg::Vst::ProcessContext& Context() { return mContext; }
  // Parameter changes and events the processor sent in the last block.
  ParameterChanges& OutputChanges() { return mOutputChanges; }
  EventList& OutputEvents() { return mOutputEvents; }
  EventList& InputEvents() { return mInputEvents; } // sent with the next block, then cleared

  //--- State (the component's state stream; a separate controller is given it with setComponentState)
  bool GetState(std::vector<std::uint8_t>& data);
  bool SetState(const std::vector<std::uint8_t>& data);

  //--- Latency and tail
  Steinberg::uint32 LatencySamples() const;
  Steinberg::uint32 TailSamples() const;
  // True once after each restartComponent(kLatencyChanged): the latency is read again into `latency`.
  bool TakeLatencyChange(Steinberg::uint32& latency);

private:
  explicit HostedPlugin(std::shared_ptr<HostModule> module, const ClassInfo& cls);
  bool Init(std::string& error);
  void ActivateDefaultBuses();
  bool Fail(const std::string& message);
  template <typename T>
  bool ProcessBlock(Steinberg::int32 numSamples, std::span<T* const> in, std::span<T* const> out,
                    std::span<T* const> sidechain);
  void AllocateBuffers();

  std::shared_ptr<HostModule> mModule;
  ClassInfo mClass;
  Steinberg::Vst::IComponent* mComponent = nullptr;
  Steinberg::Vst::IAudioProcessor* mProcessor = nullptr;
  Steinberg::Vst::IEditController* mController = nullptr;
  bool mSingleComponent = false;
  bool mConnected = false;
  Steinberg::IPtr<ComponentHandler> mHandler;
  std::string mError;

  Steinberg::Vst::ProcessSetup mSetup{};
  bool mSetupDone = false;
  bool mStarted = false;
  bool mForwardEdits = true;
  int mLatencyRestartsSeen = 0;

  ParameterChanges mInputChanges;
  ParameterChanges mOutputChanges;
  EventList mInputEvents;
  EventList mOutputEvents;
  Steinberg::Vst::ProcessContext mContext{};
  Steinberg::tresult mLastProcessResult = Steinberg::kResultOk;

  // Per bus: buffers for channels the caller does not supply, and the pointer tables handed to the plug-in.
  struct BusBuffers
  {
    std::vector<std::vector<float>> own32;
    std::vector<std::vector<double>> own64;
    std::vector<float*> ptrs32;
    std::vector<double*> ptrs64;
  };
  std::vector<BusBuffers> mInBuffers, mOutBuffers;
  std::vector<Steinberg::Vst::AudioBusBuffers> mInBusData, mOutBusData;
};

} // namespace brevant::host
