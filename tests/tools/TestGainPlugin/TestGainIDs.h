// Identity and parameters shared by the test plug-in's classes and the tests that drive them.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace testgain
{

// Gain in dB, bypass switch, and a delay that the plug-in reports as its latency.
enum : Steinberg::Vst::ParamID
{
  kGainId = 0,
  kBypassId = 1,
  kLatencyId = 2
};

constexpr double kMinGainDb = -60.0;
constexpr double kMaxGainDb = 12.0;
constexpr int kMaxLatency = 64;

// State stream: magic, then gain, bypass and latency as normalized little-endian doubles.
constexpr Steinberg::int32 kStateMagic = 0x31474E54; // "TNG1"

// Sent by the split processor to its controller when it is activated.
constexpr const char* kActivatedMessage = "TestGainActivated";

} // namespace testgain
