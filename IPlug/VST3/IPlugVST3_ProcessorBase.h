#pragma once
// The processing bridge: turns VST3 process calls into calls on the processor core. Creates the buses from the
// channel layouts, answers bus-arrangement requests, keeps the processing setup, and per block copies the transport,
// applies parameter changes, moves MIDI in and out and routes the host's buffers (with side-chain detection).

#include "IPlugMidiQueue.h"
#include "IPlugProcessor.h"
#include "IPlugQueue.h"
#include "IPlugVST3_Parameter.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

#include <vector>

namespace iplug
{

class IPluginBase;

/** Speaker arrangement for a bus of nChans channels; 0 (empty) for counts without one. */
Steinberg::Vst::SpeakerArrangement GetAPIBusTypeForChannelIOConfig(int nChans);

class IPlugVST3ProcessorBase : public IPlugProcessor
{
public:
  IPlugVST3ProcessorBase(const Config& config, IPluginBase& plug);

  /** Creates the audio and event buses from the layouts with the most buses (initialize). */
  void Initialize(Steinberg::Vst::SingleComponentEffect& effect);

  /** Accepts a host's bus layout when one of the channel layouts matches it, rebuilding the buses. */
  bool SetBusArrangements(Steinberg::Vst::SingleComponentEffect& effect, const Steinberg::Vst::BusList& inputBuses,
                          const Steinberg::Vst::BusList& outputBuses, Steinberg::Vst::SpeakerArrangement* inputs,
                          Steinberg::int32 numIns, Steinberg::Vst::SpeakerArrangement* outputs,
                          Steinberg::int32 numOuts);

  bool SetupProcessing(const Steinberg::Vst::ProcessSetup& setup, Steinberg::Vst::ProcessSetup& storedSetup);
  bool SetProcessing(bool processing);
  bool CanProcessSampleSize(Steinberg::int32 size) const;

  bool SendMidiMsg(const IMidiMsg& msg) override;

  void Process(Steinberg::Vst::ProcessData& data, Steinberg::Vst::ProcessSetup& setup,
               const Steinberg::Vst::BusList& inputBuses, const Steinberg::Vst::BusList& outputBuses,
               IPlugQueue<IMidiMsg>& fromEditor, IPlugQueue<IMidiMsg>& toEditor, IPlugQueue<SysExData>& sysExFromEditor,
               SysExData& sysExScratch);

  /** Slots of the outgoing MIDI queue (sized by SetupProcessing). */
  int GetMidiOutputQueueSize() const { return mMidiOutputQueue.GetSize(); }
  int GetMaxNChansForMainInputBus() const { return mMaxNChansForMainInputBus; }

protected:
  void ProcessTimeInfo(Steinberg::Vst::ProcessData& data, Steinberg::Vst::ProcessSetup& setup);
  void ProcessParameterChanges(Steinberg::Vst::ProcessData& data, IPlugQueue<IMidiMsg>& toEditor);
  void ProcessMidiIn(Steinberg::Vst::ProcessData& data, IPlugQueue<IMidiMsg>& fromEditor,
                     IPlugQueue<IMidiMsg>& toEditor);
  void ProcessMidiOut(Steinberg::Vst::ProcessData& data, IPlugQueue<SysExData>& sysExFromEditor,
                      SysExData& sysExScratch);
  void ProcessAudio(Steinberg::Vst::ProcessData& data, Steinberg::Vst::ProcessSetup& setup,
                    const Steinberg::Vst::BusList& inputBuses, const Steinberg::Vst::BusList& outputBuses);

  int mMaxNChansForMainInputBus = 0;
  IPluginBase& mPlug; // the owning plug-in: its parameters and change hooks
  bool mSidechainActive = false;
  IMidiQueue mMidiOutputQueue;
  Steinberg::Vst::ProcessContext mProcessContext;

private:
  void AddBuses(Steinberg::Vst::SingleComponentEffect& effect, int inputConfigIdx, int outputConfigIdx,
                const std::vector<bool>* keepInputActive, const std::vector<bool>* keepOutputActive);
  template <typename T>
  void RouteAndProcess(Steinberg::Vst::ProcessData& data, const Steinberg::Vst::BusList& inputBuses,
                       const Steinberg::Vst::BusList& outputBuses, int start, int nFrames, std::vector<T*>& inPtrs,
                       std::vector<T*>& outPtrs);

  // Host pointers advanced to the current sub-block (sized at construction: routing never allocates).
  std::vector<hostSample32*> mIn32, mOut32;
  std::vector<sample*> mIn64, mOut64;
};

} // namespace iplug
