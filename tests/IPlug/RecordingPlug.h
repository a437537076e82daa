#pragma once
// An API base that records, in order, every hook the framework calls on it.

#include "IPlugAPIBase.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class RecordingPlug : public iplug::IPlugAPIBase
{
public:
  static iplug::Config MakeConfig(bool hasUI)
  {
    iplug::Config c;
    c.nParams = 4;
    c.nPresets = 1;
    c.pluginName = "Recorder";
    c.productName = "Recorder Pro";
    c.mfrName = "Quillmere";
    c.vendorVersion = 0x10203;
    c.uniqueID = iplug::FourCC("Rcrd");
    c.mfrID = iplug::FourCC("Qlmr");
    c.plugHasUI = hasUI;
    c.plugWidth = 997;
    c.plugHeight = 612;
    c.plugHostResize = true;
    c.plugMinWidth = 2000; // deliberately out of order
    c.plugMaxWidth = 500;
    c.bundleID = "com.quillmere.recorder";
    return c;
  }

  explicit RecordingPlug(bool hasUI = true) : IPlugAPIBase(MakeConfig(hasUI), iplug::kAPIVST3)
  {
    GetParam(0)->InitInt("Steps", 50, 0, 100);
    GetParam(1)->InitBool("Switch", false);
    GetParam(2)->InitDouble("Freq", 1000, 20, 20000, 1, "Hz", 0, "", iplug::IParam::ShapePowCurve(3.0));
    // 3 stays uninitialized: a 0..1 meter channel
  }

  using IPlugAPIBase::mMidiMsgsFromEditor;
  using IPlugAPIBase::mMidiMsgsFromProcessor;
  using IPlugAPIBase::mParamChangeFromProcessor;
  using IPlugAPIBase::mSysexBuf;
  using IPlugAPIBase::mSysExDataFromEditor;
  using IPlugAPIBase::mSysExDataFromProcessor;
  using IPlugAPIBase::OnTimer;

  void BeginInformHostOfParamChange(int idx) override { Log("begin " + std::to_string(idx)); }
  void EndInformHostOfParamChange(int idx) override { Log("end " + std::to_string(idx)); }
  void InformHostOfParamChange(int idx, double v) override { Log("inform " + std::to_string(idx) + " " + Num(v)); }
  void OnParamChange(int idx, iplug::EParamSource src, int offset) override
  {
    Log("change " + std::to_string(idx) + " src" + std::to_string(src) + " " + std::to_string(offset) + " value " +
        Num(GetParam(idx)->Value()));
  }
  void OnParamChangeUI(int idx, iplug::EParamSource src) override
  {
    Log("changeUI " + std::to_string(idx) + " src" + std::to_string(src));
  }
  void SendParameterValueFromDelegate(int idx, double v, bool normalized) override
  {
    Log("delegate " + std::to_string(idx) + " " + Num(v) + (normalized ? " norm" : " plain"));
    IPlugAPIBase::SendParameterValueFromDelegate(idx, v, normalized);
  }
  void OnMidiMsgUI(const iplug::IMidiMsg& m) override { Log("midi " + std::to_string(m.mData1)); }
  void OnSysexMsgUI(const iplug::ISysEx& s) override
  {
    Log("sysex " + std::to_string(s.mSize) + " first " + std::to_string(s.mSize ? s.mData[0] : -1));
  }
  bool EditorResize(int w, int h) override
  {
    Log("resize " + std::to_string(w) + "x" + std::to_string(h));
    return resizeResult;
  }
  void HostSpecificInit() override { Log("hostInit " + std::to_string(GetHost())); }
  void OnHostIdentified() override { Log("hostIdentified"); }
  void OnLatencyChangeUI(int latency) override { Log("latency " + std::to_string(latency)); }
  void OnIdle() override
  {
    Log("idle");
    if (onIdle)
      onIdle(*this);
  }

  static std::string Num(double v)
  {
    char s[32];
    snprintf(s, sizeof(s), "%g", v);
    return s;
  }

  void Log(std::string s) { log->push_back(std::move(s)); }

  std::vector<std::string> ownLog;
  std::vector<std::string>* log = &ownLog; // may point outside, to outlive the plug-in
  bool resizeResult = true;
  std::function<void(RecordingPlug&)> onIdle;
};
