// Brevant's LV2 module: its plug-ins (stereo and mono, one editor) and instance creation.

#include "Brevant.h"

#include "IPlugLV2_Entry.h"

using namespace iplug;

namespace
{
const LV2Variant kVariants[] = {
    {brevant::kLV2URI, 2, 2, 2},
    {brevant::kLV2MonoURI, 1, 1, 1},
};
} // namespace

const LV2Variant* iplug::GetLV2Variants(int& count)
{
  count = static_cast<int>(sizeof(kVariants) / sizeof(kVariants[0]));
  return kVariants;
}

const char* iplug::GetLV2UIURI() { return brevant::kLV2UIURI; }

const char* iplug::GetLV2PortName(int paramIdx)
{
  switch (paramIdx)
  {
  case kLowMeter: return "Low Meter";
  case kMidMeter: return "Mid Meter";
  case kHighMeter: return "High Meter";
  default: return nullptr;
  }
}

IPlugLV2* iplug::MakeLV2Plug(const InstanceInfo& info) { return new Brevant(info); }
