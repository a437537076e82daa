// Loads fuzzed single preset files into plug-ins with and without state chunks. A file that loads must leave
// valid parameters, and the file the plug-in then writes must load again; one that does not load must leave
// the state as it was.

#include "../IPlug/StateTestPlugin.h"
#include "FuzzPresetFile.h"

#include <cstdlib>

namespace
{
void Check(bool stateChunks, const uint8_t* data, size_t size)
{
  StateTestPlugin source(1, stateChunks);
  source.GetParam(4)->Set(42);
  iplug::IByteChunk valid;
  source.MakePresetFXP(valid);
  const std::vector<uint8_t> file = MakeFuzzFile(valid, data, size);

  StateTestPlugin plugin(1, stateChunks);
  iplug::IByteChunk before, after;
  plugin.SerializeState(before);
  const bool loaded = plugin.LoadPresetFromFXP(file.data(), static_cast<int>(file.size()));
  if (!plugin.ParamsValid())
    std::abort();
  if (!loaded)
  {
    plugin.SerializeState(after);
    if (!after.IsEqual(before))
      std::abort();
    return;
  }
  iplug::IByteChunk written;
  plugin.MakePresetFXP(written);
  StateTestPlugin other(1, stateChunks);
  if (!other.LoadPresetFromFXP(written.GetData(), written.Size()))
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1 << 20))
    return 0;
  Check(true, data, size);
  Check(false, data, size);
  return 0;
}
