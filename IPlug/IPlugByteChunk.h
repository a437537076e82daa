#pragma once
// Growable byte buffer for states and presets. Values are stored as their raw little-endian bytes, back to
// back, without tags. Reads take a position and return the position after the value, or -1 when the value
// is not all there; a failed read leaves the destination untouched, so reads can be chained safely.

#include "IPlugConstants.h"
#include "wdlstring.h"

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace iplug
{

class IByteChunk
{
public:
  IByteChunk() = default;
  IByteChunk(const IByteChunk&) = default;
  IByteChunk& operator=(const IByteChunk&) = default;
  IByteChunk(IByteChunk&&) noexcept = default;
  IByteChunk& operator=(IByteChunk&&) noexcept = default;

  /** Appends sizeof(T) bytes; returns the new size. */
  template <class T> int Put(const T* value)
  {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values go into a chunk");
    return PutBytes(value, static_cast<int>(sizeof(T)));
  }

  /** Reads sizeof(T) bytes at startPos; returns the position after them or -1. */
  template <class T> int Get(T* value, int startPos) const
  {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values come out of a chunk");
    return GetBytes(value, static_cast<int>(sizeof(T)), startPos);
  }

  /** Appends size bytes (none for a negative size or a null source); returns the new size. */
  int PutBytes(const void* data, int size);
  /** Reads size bytes at startPos; returns the position after them or -1. */
  int GetBytes(void* data, int size, int startPos) const;

  /** Appends another chunk's bytes; returns the new size. */
  int PutChunk(const IByteChunk* other);

  /** Appends an int32 byte count and the characters without terminator (null writes an empty string). */
  int PutStr(const char* text);
  /** Reads a string written by PutStr. Returns the position after it, or -1 (string unchanged) when the count
   * is negative or its bytes are not all there. The text is cut at the first NUL. */
  int GetStr(WDL_String& text, int startPos) const;

  void Clear() { mBytes.clear(); }
  int Size() const { return static_cast<int>(mBytes.size()); }
  /** Grows (zero-filled) or shrinks the chunk; returns the new size. */
  int Resize(int newSize);
  uint8_t* GetData() { return mBytes.empty() ? nullptr : mBytes.data(); }
  const uint8_t* GetData() const { return mBytes.empty() ? nullptr : mBytes.data(); }
  bool IsEqual(const IByteChunk& other) const { return mBytes == other.mBytes; }

  /** Appends the framework magic and version (written into preset files only). */
  static void PutVersionHeader(IByteChunk& chunk);
  /** If the framework magic sits at pos, advances pos past the header and returns the version (pos becomes -1
   * when the version is cut off); else returns 0 and leaves pos where it was. */
  static int ReadVersionHeader(const IByteChunk& chunk, int& pos);

private:
  // Capacity grows in whole steps of the granularity.
  bool Reserve(int64_t newSize);

  std::vector<uint8_t> mBytes;
};

/** A named state. */
struct IPreset
{
  IPreset() { std::strcpy(mName, "empty"); }

  bool mInitialized = false;
  char mName[kMaxPresetNameLen];
  IByteChunk mChunk;
};

} // namespace iplug
