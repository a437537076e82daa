// Arbitrary bytes handed to Brevant's setState through the VST3 interface. Whatever the result: every value
// stays in range on both sides, a refused state changes nothing, and an accepted one writes back and loads again
// to the same bytes.

#include "Brevant.h"

#include "public.sdk/source/common/memorystream.h"

#include <cstdlib>
#include <vector>

using namespace Steinberg;

namespace
{
std::vector<uint8_t> StateOf(Brevant& plug)
{
  MemoryStream stream;
  if (plug.getState(&stream) != kResultOk)
    std::abort();
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.getData());
  return std::vector<uint8_t>(bytes, bytes + stream.getSize());
}

tresult Load(Brevant& plug, const uint8_t* data, size_t size)
{
  MemoryStream stream(const_cast<uint8_t*>(data), static_cast<TSize>(size));
  const tresult result = plug.setState(&stream);
  for (int i = 0; i < plug.NParams(); i++)
  {
    const iplug::IParam* p = plug.GetParam(i);
    const double v = p->Value(), n = plug.getParamNormalized(static_cast<Vst::ParamID>(i));
    if (!(v >= p->GetMin() && v <= p->GetMax() && n >= 0.0 && n <= 1.0))
      std::abort();
  }
  if (!std::isfinite(plug.GetGlobalSettings().inputGain) || !std::isfinite(plug.GetGlobalSettings().outputGain))
    std::abort();
  return result;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1 << 16))
    return 0;
  static Brevant* plug = []
  {
    auto* p = new Brevant(iplug::InstanceInfo()); // kept for the whole run
    p->initialize(nullptr);
    return p;
  }();

  const std::vector<uint8_t> before = StateOf(*plug);
  if (Load(*plug, data, size) != kResultOk)
  {
    if (StateOf(*plug) != before)
      std::abort();
    return 0;
  }
  const std::vector<uint8_t> after = StateOf(*plug);
  if (Load(*plug, after.data(), after.size()) != kResultOk || StateOf(*plug) != after)
    std::abort();
  return 0;
}
