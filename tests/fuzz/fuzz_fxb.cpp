// Loads fuzzed preset bank files into plug-ins with and without state chunks. A bank that loads must leave
// valid parameters, and the bank the plug-in then writes must load again; one that does not load must leave
// the state and the presets as they were.

#include "../IPlug/StateTestPlugin.h"
#include "FuzzPresetFile.h"

#include <cstdlib>

namespace
{
void Check(bool stateChunks, const uint8_t* data, size_t size)
{
  StateTestPlugin source(2, stateChunks);
  source.GetParam(4)->Set(42);
  source.RestorePreset(1);
  iplug::IByteChunk valid;
  source.MakeBankFXB(valid);
  const std::vector<uint8_t> file = MakeFuzzFile(valid, data, size);

  StateTestPlugin plugin(2, stateChunks);
  plugin.RestorePreset(0);
  iplug::IByteChunk stateBefore, presetsBefore, stateAfter, presetsAfter;
  plugin.SerializeState(stateBefore);
  plugin.SerializePresets(presetsBefore);
  const bool loaded = plugin.LoadBankFromFXB(file.data(), static_cast<int>(file.size()));
  if (!plugin.ParamsValid())
    std::abort();
  if (!loaded)
  {
    plugin.SerializeState(stateAfter);
    plugin.SerializePresets(presetsAfter);
    if (!stateAfter.IsEqual(stateBefore) || !presetsAfter.IsEqual(presetsBefore))
      std::abort();
    return;
  }
  iplug::IByteChunk written;
  plugin.MakeBankFXB(written);
  StateTestPlugin other(2, stateChunks);
  if (!other.LoadBankFromFXB(written.GetData(), written.Size()))
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
