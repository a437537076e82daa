#pragma once
// A plug-in base with 31 parameters of mixed kinds, storing its state as the editor record followed by the
// parameter values, as a real plug-in does. Shared by the state tests and the fuzz targets.

#include "IPlugPluginBase.h"

#include <cstdint>

class StateTestPlugin : public iplug::IPluginBase
{
public:
  static constexpr int kNumParams = 31;

  explicit StateTestPlugin(int nPresets = 1, bool stateChunks = true) : IPluginBase(kNumParams, nPresets)
  {
    using iplug::IParam;
    mUniqueID = iplug::FourCC("BRV1");
    mMfrID = iplug::FourCC("Qlmr");
    mVersion = 0x10000;
    mPluginName.Set("Brevant");
    mProductName.Set("Brevant");
    mMfrName.Set("Quillmere");
    mStateChunks = stateChunks;

    for (int band = 0; band < 3; ++band)
    {
      const int b = band * 5;
      GetParam(b + 0)->InitDouble("Attack", 10, 1, 50, 1, "ms", 0, "", IParam::ShapePowCurve(2.0));
      GetParam(b + 1)->InitDouble("Release", 400, 100, 3000, 1, "ms", 0, "", IParam::ShapePowCurve(2.0));
      GetParam(b + 2)->InitDouble("Input", 0, 0, 40, 0.1, "dB");
      GetParam(b + 3)->InitGain("Output", 0, 0, 40, 0.1);
      GetParam(b + 4)->InitPercentage("Mix", 100);
    }
    GetParam(15)->InitFrequency("Low X-Over", 425, 50, 1200, 1);
    GetParam(16)->InitDouble("High X-Over", 5500, 1200, 12000, 1, "Hz", 0, "", IParam::ShapePowCurve(1.5));
    GetParam(17)->InitGain("Input", 0, -20, 20, 0.1);
    GetParam(18)->InitGain("Output", 0, -20, 20, 0.1);
    GetParam(19)->InitDouble("Mix", 100, 0, 100, 1, "%");
    // 20 … 22 stay uninitialized (meter channels).
    GetParam(23)->InitBool("Low Sidechain", false);
    GetParam(24)->InitBool("Mid Sidechain", false);
    GetParam(25)->InitBool("High Sidechain", false);
    GetParam(26)->InitInt("Low Bypass", 1, 0, 1);
    GetParam(27)->InitInt("Mid Bypass", 1, 0, 1);
    GetParam(28)->InitInt("High Bypass", 1, 0, 1);
    GetParam(29)->InitEnum("Mode", 0, 3, "", 0, "", "Soft", "Medium", "Hard");
    GetParam(30)->InitInt("Oversampling", 0, 0, 1);
    GetParam(30)->SetDisplayText(0, "Oversampling Off");
    GetParam(30)->SetDisplayText(1, "Oversampling On");
  }

  bool SerializeState(iplug::IByteChunk& chunk) const override
  {
    SerializeEditorState(chunk);
    SerializeParams(chunk);
    return true;
  }

  int UnserializeState(const iplug::IByteChunk& chunk, int startPos) override
  {
    const int pos = UnserializeEditorState(chunk, startPos);
    return UnserializeParams(chunk, pos);
  }

  void OnParamReset(iplug::EParamSource source) override
  {
    ++resets;
    lastResetSource = source;
    IPluginBase::OnParamReset(source);
  }
  void OnPresetsModified() override { ++presetsModified; }
  void InformHostOfPresetChange() override { ++presetChanges; }

  void SetVersion(int version) { mVersion = version; }
  void SetAPI(iplug::EAPI api) { mAPI = api; }
  void SetCurrentPreset(int idx) { mCurrentPresetIdx = idx; }

  /** True when every parameter holds a value its definition allows. */
  bool ParamsValid() const
  {
    for (int i = 0; i < NParams(); ++i)
    {
      const iplug::IParam* p = GetParam(i);
      const double v = p->Value();
      if (!(v >= p->GetMin() && v <= p->GetMax()))
        return false;
      if (p->GetStepped() && p->Constrain(v) != v)
        return false;
    }
    return true;
  }

  int resets = 0;
  iplug::EParamSource lastResetSource = iplug::kUnknown;
  int presetsModified = 0;
  int presetChanges = 0;
};
