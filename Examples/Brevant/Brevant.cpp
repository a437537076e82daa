#include "Brevant.h"
#include "VectorMath.h"

#include "IPlugByteChunk.h"

#include <cmath>

using namespace iplug;

Brevant::Brevant(const InstanceInfo& info) : Plugin(info, brevant::MakeConfig())
{
  DefineParameters();
  MakeFactoryPresets();
  // The vector maths' path is chosen and its functions bound here, not on the audio thread.
  brevant::simd::Prepare();
  mMakeGraphicsFunc = [this]() { return MakeEditorGraphics(); };
  mLayoutFunc = [this](iplug::igraphics::IGraphics* pGraphics) { LayoutEditor(pGraphics); };
}

Brevant::~Brevant() = default;

void Brevant::DefineParameters()
{
  const IParam::ShapePowCurve attackReleaseShape(2.0);
  const IParam::ShapePowCurve xoverShape(1.5);
  const IParam::ShapeLinear linear;

  // Switches first, then the knobs in index order.
  GetParam(kBypass)->InitInt("Bypass", 1, 0, 1, "", 0, "");
  GetParam(kOversampling)->InitInt("Oversampling", 0, 0, 1, "", 0, "");
  GetParam(kOversampling)->SetDisplayText(0, "Oversampling Off");
  GetParam(kOversampling)->SetDisplayText(1, "Oversampling On");
  GetParam(kLowBypass)->InitInt("Low Bypass", 1, 0, 1, "", 0, "");
  GetParam(kLowSidechain)->InitInt("Low Sidechain", 0, 0, 1, "", 0, "");
  GetParam(kMidBypass)->InitInt("Mid Bypass", 1, 0, 1, "", 0, "");
  GetParam(kMidSidechain)->InitInt("Mid Sidechain", 0, 0, 1, "", 0, "");
  GetParam(kHighBypass)->InitInt("High Bypass", 1, 0, 1, "", 0, "");
  GetParam(kHighSidechain)->InitInt("High Sidechain", 0, 0, 1, "", 0, "");

  struct BandNames
  {
    const char* attack;
    const char* release;
    const char* input;
    const char* output;
    const char* mix;
  };
  const BandNames bands[kNumBands] = {{"Low Attack", "Low Release", "Low Input", "Low Output", "Low Mix"},
                                      {"Mid Attack", "Mid Release", "Mid Input", "Mid Output", "Mid Mix"},
                                      {"High Attack", "High Release", "High Input", "High Output", "High Mix"}};

  for (int b = 0; b < kNumBands; b++)
  {
    const int first = kLowAttack + b * (kMidAttack - kLowAttack);
    GetParam(first + 0)->InitDouble(bands[b].attack, 10., 1., 50., 1., "ms", 0, "", attackReleaseShape);
    GetParam(first + 1)->InitDouble(bands[b].release, 400., 100., 3000., 1., "ms", 0, "", attackReleaseShape);
    GetParam(first + 2)->InitDouble(bands[b].input, 0., 0., 40., 0.1, "dB", 0, "", linear);
    GetParam(first + 3)->InitDouble(bands[b].output, 0., 0., 40., 0.1, "dB", 0, "", linear);
    GetParam(first + 4)->InitDouble(bands[b].mix, 100., 0., 100., 1., "%", 0, "", linear);
  }

  GetParam(kLowXover)->InitDouble("Low X-Over", 425., 50., 1200., 1., "Hz", 0, "", xoverShape);
  GetParam(kHighXover)->InitDouble("High X-Overx", 5500., 1200., 12000., 1., "Hz", 0, "", xoverShape);
  GetParam(kGlobalInput)->InitDouble("Input", 0., -20., 20., 0.1, "dB", 0, "", linear);
  GetParam(kGlobalOutput)->InitDouble("Output", 0., -20., 20., 0.1, "dB", 0, "", linear);
  GetParam(kGlobalMix)->InitDouble("Mix", 100., 0., 100., 1., "%", 0, "", linear);
  // kLowMeter, kMidMeter and kHighMeter stay uninitialised: they only carry meter readings to the editor.
}

void Brevant::OnParamChange(int paramIdx)
{
  const IParam* param = GetParam(paramIdx);
  if (!param)
    return;
  const double v = param->Value();
  const int i = param->IntValue();

  switch (paramIdx)
  {
  case kLowAttack:
    mBands[kBandLow].attackMs = v;
    break;
  case kMidAttack:
    mBands[kBandMid].attackMs = v;
    break;
  case kHighAttack:
    mBands[kBandHigh].attackMs = v;
    break;
  case kLowRelease:
    mBands[kBandLow].releaseMs = v;
    break;
  case kMidRelease:
    mBands[kBandMid].releaseMs = v;
    break;
  case kHighRelease:
    mBands[kBandHigh].releaseMs = v;
    break;
  case kLowInput:
    mBands[kBandLow].driveDb = v;
    break;
  case kMidInput:
    mBands[kBandMid].driveDb = v;
    break;
  case kHighInput:
    mBands[kBandHigh].driveDb = v * 1.5;
    break;
  case kLowOutput:
    mBands[kBandLow].shelfGainDb = v * 0.5;
    break;
  case kMidOutput:
    mBands[kBandMid].shelfGainDb = v * 0.5;
    break;
  case kHighOutput:
    mBands[kBandHigh].shelfGainDb = v * 0.5;
    break;
  case kLowMix:
    mBands[kBandLow].mix = v / 100.0;
    break;
  case kMidMix:
    mBands[kBandMid].mix = v / 100.0;
    break;
  case kHighMix:
    mBands[kBandHigh].mix = v / 100.0;
    break;
  case kLowXover:
    mGlobal.lowXoverHz = v;
    break;
  case kHighXover:
    mGlobal.highXoverHz = v;
    break;
  case kGlobalInput:
    mGlobal.inputGain = std::pow(10.0, v / 20.0);
    break;
  case kGlobalOutput:
    mGlobal.outputGain = std::pow(10.0, v / 20.0);
    break;
  case kGlobalMix:
    mGlobal.mix = v / 100.0;
    break;
  case kLowSidechain:
    mBands[kBandLow].sidechain = i;
    break;
  case kMidSidechain:
    mBands[kBandMid].sidechain = i;
    break;
  case kHighSidechain:
    mBands[kBandHigh].sidechain = i;
    break;
  case kLowBypass:
    mBands[kBandLow].active = i;
    break;
  case kMidBypass:
    mBands[kBandMid].active = i;
    break;
  case kHighBypass:
    mBands[kBandHigh].active = i;
    break;
  case kBypass:
    if (i == 1)
      mGlobal.active = 1;
    else if (i == 0)
      mGlobal.active = 0;
    break;
  case kOversampling:
    if (i == 1)
    {
      mGlobal.osFactor = 2;
      mGlobal.osLatency = 64;
    }
    else if (i == 0)
    {
      mGlobal.osFactor = 0;
      mGlobal.osLatency = 0;
    }
    break;
  default:
    break; // the meter channels carry readings only
  }
}

void Brevant::OnReset()
{
  mUpL.reset();
  mUpR.reset();
  mDownL.reset();
  mDownR.reset();
}

bool Brevant::SerializeState(IByteChunk& chunk) const
{
  SerializeEditorState(chunk);
  SerializeParams(chunk);
  return true;
}

int Brevant::UnserializeState(const IByteChunk& chunk, int startPos)
{
  const int pos = UnserializeEditorState(chunk, startPos);
  return UnserializeParams(chunk, pos);
}
