#include "IPlugLV2.h"

#include "IGraphics.h"
#include "IPlugByteChunk.h"
#include "IPlugLV2_Entry.h"
#include "IPlugLV2_HeadlessEditor.h"
#include "IPlugLV2_RunLoop.h"
#include "IPlugPaths.h"

#include "lv2/atom/atom.h"
#include "lv2/buf-size/buf-size.h"
#include "lv2/options/options.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug
{

namespace
{
// A stored state is a few hundred bytes; a property far beyond any real state is refused.
constexpr size_t kMaxStateBytes = 64 * 1024 * 1024;

const LV2_Feature* FindFeature(const LV2_Feature* const* features, const char* uri)
{
  for (int i = 0; features && features[i]; i++)
  {
    if (features[i]->URI && !std::strcmp(features[i]->URI, uri))
      return features[i];
  }
  return nullptr;
}

void* FeatureData(const LV2_Feature* const* features, const char* uri)
{
  const LV2_Feature* f = FindFeature(features, uri);
  return f ? f->data : nullptr;
}

/** An integer option the host offers (atom:Int), or 0. */
int IntOption(const LV2_Options_Option* options, LV2_URID_Map* map, const char* key)
{
  if (!options || !map)
    return 0;
  const LV2_URID keyURID = map->map(map->handle, key);
  const LV2_URID intURID = map->map(map->handle, LV2_ATOM__Int);
  for (const LV2_Options_Option* o = options; o->key; o++)
  {
    if (o->key == keyURID && o->type == intURID && o->size == sizeof(int32_t) && o->value)
      return *static_cast<const int32_t*>(o->value);
  }
  return 0;
}

/** A float option the host offers (atom:Float), or 0. */
float FloatOption(const LV2_Options_Option* options, LV2_URID_Map* map, const char* key)
{
  if (!options || !map)
    return 0.f;
  const LV2_URID keyURID = map->map(map->handle, key);
  const LV2_URID floatURID = map->map(map->handle, LV2_ATOM__Float);
  for (const LV2_Options_Option* o = options; o->key; o++)
  {
    if (o->key == keyURID && o->type == floatURID && o->size == sizeof(float) && o->value)
      return *static_cast<const float*>(o->value);
  }
  return 0.f;
}

IPlugLV2* Self(LV2_Handle h) { return static_cast<IPlugLV2*>(h); }

const LV2_State_Interface kStateInterface = {
    [](LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t, const LV2_Feature* const*)
    { return Self(h)->SaveState(store, handle); },
    [](LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
       const LV2_Feature* const*) { return Self(h)->RestoreState(retrieve, handle); },
};

const LV2UI_Idle_Interface kIdleInterface = {
    [](LV2UI_Handle h) { return static_cast<IPlugLV2*>(h)->Idle(); },
};

const LV2UI_Resize kResizeInterface = {
    nullptr,
    [](LV2UI_Feature_Handle h, int w, int hgt) { return static_cast<IPlugLV2*>(h)->HostResizedUI(w, hgt); },
};

const iplug_lv2_headless_editor kHeadlessEditor = {
    [](LV2UI_Handle h, double scale) { return static_cast<IPlugLV2*>(h)->OpenHeadlessEditor(static_cast<float>(scale)); },
    [](LV2UI_Handle h) { return static_cast<IPlugLV2*>(h)->DrawHeadlessFrame(); },
    [](LV2UI_Handle h, const char* path) { return path && static_cast<IPlugLV2*>(h)->WriteHeadlessFramePNG(path); },
    [](LV2UI_Handle h, uint32_t* w, uint32_t* hgt)
    {
      auto* plug = static_cast<IPlugLV2*>(h);
      if (!w || !hgt || !plug->HasUI())
        return false;
      *w = static_cast<uint32_t>(std::max(plug->GetEditorWidth(), 0));
      *hgt = static_cast<uint32_t>(std::max(plug->GetEditorHeight(), 0));
      return true;
    },
    [](LV2UI_Handle h) { static_cast<IPlugLV2*>(h)->CloseHeadlessEditor(); },
};
} // namespace

IPlugLV2::IPlugLV2(const InstanceInfo& info, const Config& config)
    : IPlugAPIBase(config, kAPILV2), IPlugProcessor(config, kAPILV2)
{
  (void)info;
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), true);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);
  if (MaxNChannels(kInput) > 0)
    CreateLatencyDelayLine();
  mIn32.resize(static_cast<size_t>(MaxNChannels(kInput)) + 1);
  mOut32.resize(static_cast<size_t>(MaxNChannels(kOutput)) + 1);
  ResetInputConnections();
  mMeterValues.assign(static_cast<size_t>(NParams()), 0.0);
  mMeterSent.assign(static_cast<size_t>(NParams()), 0);
}

IPlugLV2::~IPlugLV2()
{
  // No tick may reach this object once its parts start going away.
  if (mTimer)
    mTimer->Stop();
  CloseHeadlessEditor();
  if (GetUI())
    CloseWindow();
  SetHostRunLoop(nullptr);
  if (mRunLoop)
  {
    mRunLoop->UnregisterAll();
    mRunLoop->release();
    mRunLoop = nullptr;
  }
}

void IPlugLV2::SetBundle(const char* bundlePath)
{
  // The editor finds its artwork in the bundle the host loaded this module from.
  WDL_String module;
  GetModulePath(reinterpret_cast<const void*>(&GetLV2Variants), module);
  if (bundlePath && *bundlePath)
    SetBundlePath(GetBundleID(), bundlePath, module.Get());
}

std::string IPlugLV2::StateKeyURI()
{
  int count = 0;
  const LV2Variant* variants = GetLV2Variants(count);
  return std::string(count > 0 ? variants[0].uri : "urn:iplug:lv2") + "#state";
}

// --- framework hooks --------------------------------------------------------------------------

void IPlugLV2::BeginInformHostOfParamChange(int idx)
{
  if (mHostTouch && mHostTouch->touch && GetParam(idx))
    mHostTouch->touch(mHostTouch->handle, static_cast<uint32_t>(idx), true);
}

void IPlugLV2::InformHostOfParamChange(int idx, double normalizedValue)
{
  const IParam* param = GetParam(idx);
  if (!param || !mWrite || param->Type() == IParam::kTypeNone)
    return;
  const float plain = static_cast<float>(param->FromNormalized(normalizedValue));
  mWrite(mController, static_cast<uint32_t>(idx), sizeof(float), 0, &plain);
}

void IPlugLV2::EndInformHostOfParamChange(int idx)
{
  if (mHostTouch && mHostTouch->touch && GetParam(idx))
    mHostTouch->touch(mHostTouch->handle, static_cast<uint32_t>(idx), false);
}

bool IPlugLV2::EditorResize(int viewWidth, int viewHeight)
{
  if (!HasUI())
    return true;
  if ((viewWidth != GetEditorWidth() || viewHeight != GetEditorHeight()) && !IsHeadless() && mHostResize &&
      mHostResize->ui_resize)
  {
    if (mHostResize->ui_resize(mHostResize->handle, std::max(viewWidth, 1), std::max(viewHeight, 1)) != 0)
      return false;
  }
  SetEditorSize(viewWidth, viewHeight);
  return true;
}

void IPlugLV2::SendMeterValuesFromProcessor(const IMeterValues& values)
{
  for (int i = 0; i < values.count && i < IMeterValues::kMaxValues; i++)
  {
    const int idx = values.paramIdx[i];
    if (idx >= 0 && idx < static_cast<int>(mMeterValues.size()))
    {
      mMeterValues[static_cast<size_t>(idx)] = values.values[i];
      mMeterSent[static_cast<size_t>(idx)] = 1;
    }
  }
  IPlugAPIBase::SendMeterValuesFromProcessor(values);
}

// --- DSP --------------------------------------------------------------------------------------

bool IPlugLV2::InstantiateDSP(const LV2Variant& variant, double sampleRate, const char* bundlePath,
                              const LV2_Feature* const* features)
{
  // urid:map is used when offered (options, state); lilv's own lv2apply offers no feature at all.
  mMap = static_cast<LV2_URID_Map*>(FeatureData(features, LV2_URID__map));
  if (mMap && !mMap->map)
    mMap = nullptr;
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
    return false;
  const auto* options = static_cast<const LV2_Options_Option*>(FeatureData(features, LV2_OPTIONS__options));
  int block = IntOption(options, mMap, LV2_BUF_SIZE__maxBlockLength);
  if (block <= 0)
    block = IntOption(options, mMap, LV2_BUF_SIZE__nominalBlockLength);
  block = block > 0 ? std::min(block, kMaxBlockSize) : kDefaultBlockSize;

  SetBundle(bundlePath);
  mPorts = LV2PortLayout::Make(NParams(), variant.nIn, variant.nSC, variant.nOut);
  mPortData.assign(mPorts.count, nullptr);
  mLastControl.assign(mPorts.nParams, NAN);
  mSilence.assign(static_cast<size_t>(block), 0.f);
  SetSampleRate(sampleRate);
  if (!SetBlockSize(block))
    return false;
  OnHostIdentified();
  OnParamReset(kReset);
  return true;
}

void IPlugLV2::ConnectPort(uint32_t port, void* data)
{
  if (port < mPortData.size())
    mPortData[port] = static_cast<float*>(data);
}

void IPlugLV2::Activate()
{
  if (mActive || GetBlockSize() <= 0)
    return;
  OnReset();
  OnActivate(true);
  mActive = true;
}

void IPlugLV2::Deactivate()
{
  if (!mActive)
    return;
  mActive = false;
  OnActivate(false);
}

void IPlugLV2::ApplyControlPorts()
{
  for (uint32_t i = 0; i < mPorts.nParams; i++)
  {
    const float* port = mPortData[i];
    IParam* param = GetParam(static_cast<int>(i));
    if (!port || !param || param->Type() == IParam::kTypeNone)
      continue;
    const float v = *port;
    if (v == mLastControl[i] || !std::isfinite(v))
      continue;
    mLastControl[i] = v;
    // A port holds a float: a value whose float it already is (a default, a restored state) stays exact.
    if (static_cast<float>(param->Value()) == v)
      continue;
    param->Set(static_cast<double>(v));
    OnParamChange(static_cast<int>(i), kHost, 0);
  }
}

void IPlugLV2::RenderSpan(uint32_t start, int nFrames)
{
  const int nInRecords = MaxNChannels(kInput);
  const int nOutRecords = MaxNChannels(kOutput);
  auto at = [start](float* p) { return p ? p + start : nullptr; };

  // Inputs: the main port, then the side-chain on the channel records after the main bus's.
  SetChannelConnections(kInput, 0, nInRecords, false);
  const int scStart = HasSidechainInput() ? std::clamp(MaxNChannelsForBus(kInput, 0), 0, nInRecords) : nInRecords;
  const int nMain = std::min(static_cast<int>(mPorts.nIn), scStart);
  for (int c = 0; c < nMain; c++)
    mIn32[static_cast<size_t>(c)] = at(mPortData[mPorts.audioIn + static_cast<uint32_t>(c)]);
  SetChannelConnections(kInput, 0, nMain, true);
  AttachBuffers(kInput, 0, nMain, mIn32.data(), nFrames);

  // The side-chain is optional: it counts as present while the host connects any of its ports.
  const int nSC = std::min(static_cast<int>(mPorts.nSC), nInRecords - scStart);
  bool sidechain = false;
  for (int c = 0; c < nSC; c++)
    sidechain = sidechain || mPortData[mPorts.sidechainIn + static_cast<uint32_t>(c)];
  if (sidechain)
  {
    mSidechainActive = true;
    for (int c = 0; c < nSC; c++)
    {
      float* p = mPortData[mPorts.sidechainIn + static_cast<uint32_t>(c)];
      mIn32[static_cast<size_t>(scStart + c)] = p ? p + start : mSilence.data();
    }
    SetChannelConnections(kInput, scStart, nSC, true);
    AttachBuffers(kInput, scStart, nSC, mIn32.data() + scStart, nFrames);
  }
  else if (mSidechainActive)
  {
    ZeroScratchBuffers();
    mSidechainActive = false;
  }
  SilenceInputsNoLongerFed(nInRecords);

  SetChannelConnections(kOutput, 0, nOutRecords, false);
  const int nOut = std::min(static_cast<int>(mPorts.nOut), nOutRecords);
  for (int c = 0; c < nOut; c++)
    mOut32[static_cast<size_t>(c)] = at(mPortData[mPorts.audioOut + static_cast<uint32_t>(c)]);
  SetChannelConnections(kOutput, 0, nOut, true);
  AttachBuffers(kOutput, 0, nOut, mOut32.data(), nFrames);

  if (GetBypassed())
    PassThroughBuffers(hostSample32(0), nFrames);
  else
    ProcessBuffers(hostSample32(0), nFrames);
}

void IPlugLV2::Run(uint32_t nFrames)
{
  if (mPortData.empty())
    return;
  if (!mActive)
  {
    // Run before activate breaks the host's side of the contract; leave silence rather than stale memory.
    for (uint32_t c = 0; c < mPorts.nOut; c++)
    {
      if (float* p = mPortData[mPorts.audioOut + c])
        std::fill_n(p, nFrames, 0.f);
    }
    return;
  }

  ApplyControlPorts();
  // lv2:enabled: 0 is the host's bypass. Unconnected means enabled.
  if (const float* enabled = mPortData[mPorts.enabled])
  {
    const bool bypassed = !(*enabled > 0.5f);
    if (bypassed != GetBypassed())
      SetBypassed(bypassed);
  }

  // Pieces no longer than the block size: the scratch buffers hold that much.
  uint32_t start = 0;
  while (start < nFrames)
  {
    const int n = static_cast<int>(std::min<uint32_t>(nFrames - start, static_cast<uint32_t>(GetBlockSize())));
    RenderSpan(start, n);
    start += static_cast<uint32_t>(n);
  }

  for (uint32_t i = 0; i < mPorts.nParams; i++)
  {
    if (mMeterSent[i] && mPortData[i] && GetParam(static_cast<int>(i))->Type() == IParam::kTypeNone)
      *mPortData[i] = static_cast<float>(mMeterValues[i]);
  }
  if (float* latency = mPortData[mPorts.latency])
    *latency = static_cast<float>(std::max(GetLatency(), 0));
}

LV2_State_Status IPlugLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle)
{
  if (!mMap)
    return LV2_STATE_ERR_NO_FEATURE;
  if (!store)
    return LV2_STATE_ERR_UNKNOWN;
  IByteChunk chunk;
  if (!SerializeState(chunk) || chunk.Size() <= 0)
    return LV2_STATE_ERR_UNKNOWN;
  const std::string key = StateKeyURI();
  return store(handle, mMap->map(mMap->handle, key.c_str()), chunk.GetData(), static_cast<size_t>(chunk.Size()),
               mMap->map(mMap->handle, LV2_ATOM__Chunk), LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status IPlugLV2::RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
  if (!mMap)
    return LV2_STATE_ERR_NO_FEATURE;
  if (!retrieve)
    return LV2_STATE_ERR_UNKNOWN;
  const std::string key = StateKeyURI();
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* data = retrieve(handle, mMap->map(mMap->handle, key.c_str()), &size, &type, &flags);
  if (!data)
    return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mMap->map(mMap->handle, LV2_ATOM__Chunk))
    return LV2_STATE_ERR_BAD_TYPE;
  if (size == 0 || size > kMaxStateBytes)
    return LV2_STATE_ERR_UNKNOWN;

  IByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(size));
  // A refused state must not leave a half-loaded plug-in behind: keep what we had to put it back.
  IByteChunk previous;
  const bool haveBackup = SerializeState(previous);
  if (UnserializeState(chunk, 0) < 0)
  {
    if (haveBackup)
      UnserializeState(previous, 0);
    return LV2_STATE_ERR_UNKNOWN;
  }
  OnRestoreState();
  // The ports still hold what the host set: the restored values stay until the host moves a port.
  for (uint32_t i = 0; i < mPorts.nParams; i++)
  {
    if (mPortData[i])
      mLastControl[i] = *mPortData[i];
  }
  return LV2_STATE_SUCCESS;
}

const void* IPlugLV2::DSPExtensionData(const char* uri)
{
  if (uri && !std::strcmp(uri, LV2_STATE__interface))
    return &kStateInterface;
  return nullptr;
}

// --- UI ---------------------------------------------------------------------------------------

bool IPlugLV2::InstantiateUI(const char* bundlePath, LV2UI_Write_Function write, LV2UI_Controller controller,
                             LV2UI_Widget* widget, const LV2_Feature* const* features)
{
  if (!HasUI())
    return false;
  // ui:parent carries the window id itself as its data; a null id is no window.
  void* parent = FeatureData(features, LV2_UI__parent);
  const bool headless = FindFeature(features, kHeadlessFeatureURI) != nullptr;
  if (!parent && !headless)
    return false;

  mMap = static_cast<LV2_URID_Map*>(FeatureData(features, LV2_URID__map));
  mHostResize = static_cast<const LV2UI_Resize*>(FeatureData(features, LV2_UI__resize));
  mHostTouch = static_cast<const LV2UI_Touch*>(FeatureData(features, LV2_UI__touch));
  const auto* options = static_cast<const LV2_Options_Option*>(FeatureData(features, LV2_OPTIONS__options));
  const float scale = FloatOption(options, mMap, LV2_UI__scaleFactor);
  if (std::isfinite(scale) && scale > 0.f)
    mUIScale = scale;
  mWrite = write;
  mController = controller;
  SetBundle(bundlePath);

  // The framework timer and the editor tick on the host's idle calls.
  CreateTimer();
  mRunLoop = new LV2RunLoop();
  SetHostRunLoop(mRunLoop);
  OnHostIdentified();
  OnParamReset(kReset);

  if (headless)
  {
    if (widget)
      *widget = nullptr;
    return true;
  }
  if (mUIScale != 1.f)
    SetScreenScale(mUIScale);
  void* window = OpenWindow(parent);
  if (!window)
    return false;
  if (mUIScale != 1.f)
    SetScreenScale(mUIScale);
  if (widget)
    *widget = window;
  if (mHostResize && mHostResize->ui_resize)
    mHostResize->ui_resize(mHostResize->handle, GetEditorWidth(), GetEditorHeight());
  return true;
}

void IPlugLV2::PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
  if (format != 0 || size != sizeof(float) || !buffer || port >= static_cast<uint32_t>(NParams()))
    return;
  const float v = *static_cast<const float*>(buffer);
  IParam* param = GetParam(static_cast<int>(port));
  if (!param || !std::isfinite(v))
    return;
  const int idx = static_cast<int>(port);
  if (param->Type() == IParam::kTypeNone)
  {
    // A reading the DSP wrote to its meter port.
    IMeterValues values;
    values.Add(idx, static_cast<double>(v));
    OnMeterValuesUI(values);
    return;
  }
  // The host echoes our own edits: a value whose float the parameter already is stays exact.
  if (static_cast<float>(param->Value()) == v)
    return;
  param->Set(static_cast<double>(v));
  OnParamChange(idx, kHost, -1);
  SendParameterValueFromDelegate(idx, param->Value(), false);
}

int IPlugLV2::Idle()
{
  if (mRunLoop)
    mRunLoop->Idle();
  return 0;
}

int IPlugLV2::HostResizedUI(int width, int height)
{
  // An editor the host may not resize (its own corner resizer scales it) refuses rather than claim a size it
  // does not take.
  if (!GetUI() || IsHeadless() || !GetHostResize())
    return 1;
  if (width < GetMinWidth() || width > GetMaxWidth() || height < GetMinHeight() || height > GetMaxHeight())
    return 1;
  OnParentWindowResize(width, height);
  return 0;
}

const void* IPlugLV2::UIExtensionData(const char* uri)
{
  if (!uri)
    return nullptr;
  if (!std::strcmp(uri, LV2_UI__idleInterface))
    return &kIdleInterface;
  if (!std::strcmp(uri, LV2_UI__resize))
    return &kResizeInterface;
  if (!std::strcmp(uri, IPLUG_LV2_EXT_HEADLESS_EDITOR))
    return &kHeadlessEditor;
  return nullptr;
}


} // namespace iplug
