// Restores arbitrary bytes as a plug-in state, as parameters alone, as an editor record and as a preset bank.
// Every parameter must stay inside its range, and whatever state results must write and read back exactly.

#include "../IPlug/StateTestPlugin.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1 << 20))
    return 0;
  iplug::IByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(size));
  const int offset = size ? data[0] % 16 : 0;

  StateTestPlugin plugin(2);
  const int end = plugin.UnserializeState(chunk, 0);
  if (end > static_cast<int>(size) || !plugin.ParamsValid())
    std::abort();
  plugin.UnserializeParams(chunk, offset);
  plugin.UnserializeEditorState(chunk, offset);
  if (plugin.UnserializePresets(chunk, offset) > static_cast<int>(size) || !plugin.ParamsValid())
    std::abort();

  iplug::IByteChunk state, again;
  plugin.SerializeState(state);
  StateTestPlugin other(2);
  if (other.UnserializeState(state, 0) != state.Size())
    std::abort();
  other.SerializeState(again);
  if (!again.IsEqual(state))
    std::abort();
  return 0;
}
