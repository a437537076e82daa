#include "IPlugAPIBase.h"

#include "IGraphics.h"

#include "IGraphicsEditorDelegate.h"
#include "pluginterfaces/gui/iplugview.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug
{

IPlugAPIBase::IPlugAPIBase(const Config& config, EAPI plugAPI) : IPluginBase(config.nParams, config.nPresets)
{
  mUniqueID = config.uniqueID;
  mMfrID = config.mfrID;
  mVersion = config.vendorVersion;
  mPluginName.Set(config.pluginName);
  mProductName.Set(config.productName);
  mMfrName.Set(config.mfrName);
  mBundleID.Set(config.bundleID);
  mStateChunks = config.plugDoesChunks;
  mHasUI = config.plugHasUI;
  mHostResize = config.plugHostResize;
  SetEditorSize(config.plugWidth, config.plugHeight);
  SetSizeConstraints(config.plugMinWidth, config.plugMaxWidth, config.plugMinHeight, config.plugMaxHeight);
  mAPI = plugAPI;
}

IPlugAPIBase::~IPlugAPIBase()
{
  if (mTimer)
    mTimer->Stop();
  if (mHostRunLoop)
    mHostRunLoop->release(); // the timer holds its own reference until it is destroyed
}

void IPlugAPIBase::SetHost(const char* name, int version)
{
  IPluginBase::SetHost(name, version);
  HostSpecificInit();
  OnHostIdentified();
}

bool IPlugAPIBase::CompareState(const uint8_t* data, int startPos) const
{
  if (!data || startPos < 0)
    return false;
  const uint8_t* values = data + static_cast<size_t>(startPos) * sizeof(double);
  for (int i = 0; i < NParams(); ++i)
  {
    double stored;
    std::memcpy(&stored, values + static_cast<size_t>(i) * sizeof(double), sizeof(double)); // may be unaligned
    const float current = static_cast<float>(GetParam(i)->Value());
    // Not "!(< 1e-5)" spelled as ">=": a NaN in the data must compare unequal.
    if (!(std::fabs(current - stored) < 1e-5))
      return false;
  }
  return true;
}

void* IPlugAPIBase::GetAAXViewInterface() { return GetUI(); }

void IPlugAPIBase::SendParameterValueFromAPI(int paramIdx, double value, bool normalized)
{
  const IParam* param = GetParam(paramIdx);
  if (!param)
    return;
  if (normalized)
    value = param->FromNormalized(value);
  mParamChangeFromProcessor.Push(ParamTuple(paramIdx, value));
}

void IPlugAPIBase::SetParameterValue(int paramIdx, double normalizedValue)
{
  IParam* param = GetParam(paramIdx);
  if (!param)
    return;
  param->SetNormalized(normalizedValue);
  InformHostOfParamChange(paramIdx, normalizedValue);
  OnParamChange(paramIdx, kUI, -1);
}

void IPlugAPIBase::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
  if (!GetParam(paramIdx))
    return;
  SetParameterValue(paramIdx, normalizedValue);
  // The base stores the value again (OnParamChange may have moved it) and tells the plug-in's UI hook.
  IGEditorDelegate::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPlugAPIBase::DirtyParametersFromUI()
{
  for (int i = 0; i < NParams(); ++i)
    InformHostOfParamChange(i, GetParam(i)->GetNormalized());
}

bool IPlugAPIBase::EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize)
{
  return needsPlatformResize ? EditorResize(viewWidth, viewHeight) : true;
}

void IPlugAPIBase::DeferMidiMsg(const IMidiMsg& msg) { mMidiMsgsFromEditor.Push(msg); }

void IPlugAPIBase::DeferSysexMsg(const ISysEx& msg)
{
  mSysExDataFromEditor.Push(SysExData(msg.mOffset, msg.mSize, msg.mData));
}

void IPlugAPIBase::OnMeterValuesUI(const IMeterValues& values)
{
  const int count = std::clamp(values.count, 0, IMeterValues::kMaxValues);
  for (int i = 0; i < count; ++i)
    SendParameterValueFromDelegate(values.paramIdx[i], values.values[i], false);
}

void IPlugAPIBase::CreateTimer()
{
  mTimer.reset(); // stops the old one before the new one can tick
  mTimer = std::make_unique<Timer>([this](Timer& timer) { OnTimer(timer); }, kTimerIntervalMs, ETimerFallback::kNone,
                                   mHostRunLoop);
}

void IPlugAPIBase::SetHostRunLoop(Steinberg::Linux::IRunLoop* runLoop)
{
  if (runLoop == mHostRunLoop)
    return;
  if (runLoop)
    runLoop->addRef();
  if (mHostRunLoop)
    mHostRunLoop->release();
  mHostRunLoop = runLoop;
  if (mTimer)
    mTimer->SetRunLoop(runLoop);
  if (GetUI())
    GetUI()->SetHostRunLoop(runLoop);
}

void IPlugAPIBase::DeliverFromProcessor()
{
  if (mHasUI)
  {
    // Bounded by what is queued now, so a busy producer cannot keep the main thread here.
    IMidiMsg msg;
    for (size_t n = mMidiMsgsFromProcessor.ElementsAvailable(); n > 0 && mMidiMsgsFromProcessor.Pop(msg); --n)
      SendMidiMsgFromDelegate(msg);

    SysExData data;
    for (size_t n = mSysExDataFromProcessor.ElementsAvailable(); n > 0 && mSysExDataFromProcessor.Pop(data); --n)
    {
      // Never hand out more bytes than the record holds, whatever the producer wrote into mSize.
      const ISysEx sysex(data.mOffset, data.mData, std::clamp<int32_t>(data.mSize, 0, SysExData::kMaxSize));
      SendSysexMsgFromDelegate(sysex);
    }

    ParamTuple change;
    for (size_t n = mParamChangeFromProcessor.ElementsAvailable(); n > 0 && mParamChangeFromProcessor.Pop(change); --n)
      SendParameterValueFromDelegate(change.idx, change.value, false);
  }

  IMeterValues meters;
  if (mMeterValues.Collect(meters) && mHasUI)
    OnMeterValuesUI(meters);

  int latency;
  if (mLatencyChange.Collect(latency))
    OnLatencyChangeUI(latency);
}

void IPlugAPIBase::OnTimer(Timer& timer)
{
  // All of this moves editor controls or calls the host, which a background tick must not do.
  if (timer.IsBackgroundTick())
    return;
  DeliverFromProcessor();
  OnIdle();
}

bool IPlugAPIBase::OpenHeadlessEditor(float scale)
{
  if (!HasUI() || GetUI() || !std::isfinite(scale) || scale <= 0.f)
    return false;
  // The scale before the window opens, so that it opens at that size; again once the graphics context exists.
  SetScreenScale(scale);
  if (!OpenWindow(nullptr))
    return false;
  SetScreenScale(scale);
  mHeadless = GetUI() != nullptr;
  return mHeadless;
}

void IPlugAPIBase::CloseHeadlessEditor()
{
  if (mHeadless)
    CloseWindow();
}

void IPlugAPIBase::CloseWindow()
{
  mHeadless = false;
  IPluginBase::CloseWindow();
}

bool IPlugAPIBase::DrawHeadlessFrame()
{
  DeliverFromProcessor();
  return GetUI() && GetUI()->OnFrameTick();
}

bool IPlugAPIBase::WriteHeadlessFramePNG(const char* path) { return GetUI() && GetUI()->WriteFramePNG(path); }

} // namespace iplug
