// Arbitrary bytes handed to Brevant's setState through the VST3 interface, delivered by a stream that reads in
// input-chosen pieces. Whatever the result: every value stays in range, host and plug-in agree, a refused state
// changes nothing, and an accepted one writes back and loads again to the same bytes.

#include "../IPlug/VST3/VST3TestHost.h"
#include "Brevant.h"

#include "public.sdk/source/common/memorystream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// A host stream that hands out at most `piece` bytes per read, as some hosts' streams do.
class PieceStream : public IBStream
{
public:
  PieceStream(const uint8_t* data, size_t size, int32 piece)
      : mData(data), mSize(static_cast<int64>(size)), mPiece(piece)
  {
  }
  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override
  {
    int32 n = std::min<int64>({static_cast<int64>(numBytes), static_cast<int64>(mPiece), mSize - mPos});
    n = std::max<int32>(n, 0);
    if (n)
      std::memcpy(buffer, mData + mPos, static_cast<size_t>(n));
    mPos += n;
    if (numBytesRead)
      *numBytesRead = n;
    return kResultOk;
  }
  tresult PLUGIN_API write(void*, int32, int32*) override { return kResultFalse; }
  tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) override
  {
    const int64 base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? mPos : mSize;
    if (base + pos < 0 || base + pos > mSize)
      return kResultFalse;
    mPos = base + pos;
    if (result)
      *result = mPos;
    return kResultOk;
  }
  tresult PLUGIN_API tell(int64* pos) override
  {
    if (pos)
      *pos = mPos;
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IBStream)
    QUERY_INTERFACE(iid, obj, IBStream::iid, IBStream)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

private:
  const uint8_t* mData;
  int64 mSize;
  int32 mPiece;
  int64 mPos = 0;
};

std::vector<uint8_t> StateOf(Brevant& plug)
{
  MemoryStream stream;
  if (plug.getState(&stream) != kResultOk)
    std::abort();
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.getData());
  return std::vector<uint8_t>(bytes, bytes + stream.getSize());
}

void CheckConsistent(Brevant& plug)
{
  for (int i = 0; i < plug.NParams(); i++)
  {
    const iplug::IParam* p = plug.GetParam(i);
    const double v = p->Value();
    if (!(v >= p->GetMin() && v <= p->GetMax()))
      std::abort();
    const double n = plug.getParamNormalized(static_cast<ParamID>(i));
    if (!(n >= 0.0 && n <= 1.0))
      std::abort();
  }
  const GlobalSettings& g = plug.GetGlobalSettings();
  if (!std::isfinite(g.inputGain) || !std::isfinite(g.outputGain) || !(g.osLatency == 0 || g.osLatency == 64))
    std::abort();
}

struct Plug
{
  Plug() : plug(new Brevant(iplug::InstanceInfo())) { plug->initialize(&host); }
  vst3test::HostApplication host;
  Brevant* plug; // kept for the whole run
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1 << 16))
    return 0;
  static Plug p;
  Brevant& plug = *p.plug;

  if (size == 0)
    return 0;
  // The first byte chooses how the stream splits its reads; the rest is the state.
  PieceStream stream(data + 1, size - 1, 1 + data[0] % 160);

  const std::vector<uint8_t> before = StateOf(plug);
  const tresult result = plug.setState(&stream);
  CheckConsistent(plug);
  const std::vector<uint8_t> after = StateOf(plug);
  if (result != kResultOk)
  {
    if (after != before)
      std::abort();
    return 0;
  }

  int32 written = 0;
  MemoryStream again;
  again.write(const_cast<uint8_t*>(after.data()), static_cast<int32>(after.size()), &written);
  again.seek(0, IBStream::kIBSeekSet, nullptr);
  if (plug.setState(&again) != kResultOk)
    std::abort();
  CheckConsistent(plug);
  if (StateOf(plug) != after)
    std::abort();
  return 0;
}
