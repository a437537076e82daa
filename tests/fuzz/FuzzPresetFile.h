#pragma once
// Turns fuzzer input into a preset file: either the raw bytes, or a valid file written by the plug-in with
// the input laid over part of it or cut and continued by it, so the loaders are reached past their headers.

#include "IPlugByteChunk.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> MakeFuzzFile(const iplug::IByteChunk& valid, const uint8_t* data, size_t size)
{
  if (size < 3)
    return std::vector<uint8_t>(data, data + size);
  const size_t validSize = static_cast<size_t>(valid.Size());
  const uint8_t* v = valid.GetData();
  const size_t at = (static_cast<size_t>(data[1]) | static_cast<size_t>(data[2]) << 8) % (validSize + 1);
  const uint8_t* rest = data + 3;
  const size_t restSize = size - 3;

  switch (data[0] % 3)
  {
  case 0:
    return std::vector<uint8_t>(data, data + size);
  case 1:
  {
    std::vector<uint8_t> file(v, v + validSize);
    for (size_t i = 0; i < restSize && at + i < file.size(); ++i)
      file[at + i] ^= rest[i];
    return file;
  }
  default:
  {
    std::vector<uint8_t> file(v, v + at);
    file.insert(file.end(), rest, rest + restSize);
    return file;
  }
  }
}
