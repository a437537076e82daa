#include "IPlugByteChunk.h"

#include <climits>
#include <string>

namespace iplug
{

bool IByteChunk::Reserve(int64_t newSize)
{
  if (newSize < 0 || newSize > INT_MAX)
    return false;
  if (static_cast<size_t>(newSize) > mBytes.capacity())
  {
    const int64_t steps = (newSize + kByteChunkGranularity - 1) / kByteChunkGranularity;
    mBytes.reserve(static_cast<size_t>(steps * kByteChunkGranularity));
  }
  return true;
}

int IByteChunk::PutBytes(const void* data, int size)
{
  if (!data || size <= 0 || !Reserve(static_cast<int64_t>(Size()) + size))
    return Size();
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  mBytes.insert(mBytes.end(), bytes, bytes + size);
  return Size();
}

int IByteChunk::GetBytes(void* data, int size, int startPos) const
{
  if (startPos < 0 || size < 0 || static_cast<int64_t>(startPos) + size > Size())
    return -1;
  if (size > 0)
    std::memcpy(data, mBytes.data() + startPos, static_cast<size_t>(size));
  return startPos + size;
}

int IByteChunk::PutChunk(const IByteChunk* other)
{
  if (!other || other == this)
  {
    if (other == this && Size() > 0)
    {
      const std::vector<uint8_t> copy(mBytes);
      return PutBytes(copy.data(), static_cast<int>(copy.size()));
    }
    return Size();
  }
  return PutBytes(other->GetData(), other->Size());
}

int IByteChunk::PutStr(const char* text)
{
  if (!text)
    text = "";
  const size_t len = std::strlen(text);
  if (static_cast<int64_t>(len) + 4 + Size() > INT_MAX)
    return Size();
  const int32_t count = static_cast<int32_t>(len);
  Put(&count);
  return PutBytes(text, count);
}

int IByteChunk::GetStr(WDL_String& text, int startPos) const
{
  int32_t count = 0;
  const int pos = Get(&count, startPos);
  if (pos < 0 || count < 0 || count > Size() - pos)
    return -1;
  if (count == 0)
  {
    text.Set("");
    return pos;
  }
  const char* chars = reinterpret_cast<const char*>(mBytes.data() + pos);
  // The stored characters carry no terminator: take them with an explicit length.
  text.Set(std::string(chars, strnlen(chars, static_cast<size_t>(count))).c_str());
  return pos + count;
}

int IByteChunk::Resize(int newSize)
{
  if (newSize < 0)
    newSize = 0;
  if (Reserve(newSize))
    mBytes.resize(static_cast<size_t>(newSize));
  return Size();
}

void IByteChunk::PutVersionHeader(IByteChunk& chunk)
{
  chunk.Put(&kFrameworkMagic);
  chunk.Put(&kFrameworkVersion);
}

int IByteChunk::ReadVersionHeader(const IByteChunk& chunk, int& pos)
{
  int32_t magic = 0;
  int32_t version = 0;
  const int afterMagic = chunk.Get(&magic, pos);
  if (afterMagic < 0 || magic != kFrameworkMagic)
    return 0;
  const int afterVersion = chunk.Get(&version, afterMagic);
  if (afterVersion < 0)
  {
    pos = -1; // a header cut short: nothing after it can be trusted
    return 0;
  }
  pos = afterVersion;
  return version;
}

} // namespace iplug
