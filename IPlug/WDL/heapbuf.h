#pragma once
// Growable arrays. Resize keeps the contents up to the new size; new elements are zeroed.

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

class WDL_HeapBuf
{
public:
  void* Get() { return mBytes.empty() ? nullptr : mBytes.data(); }
  const void* Get() const { return mBytes.empty() ? nullptr : mBytes.data(); }
  int GetSize() const { return static_cast<int>(mBytes.size()); }
  void* Resize(int newSize)
  {
    mBytes.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0);
    return Get();
  }
  /** Keeps capacity for at least n bytes so later Resize calls up to n do not allocate. */
  void Reserve(int n) { mBytes.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

private:
  std::vector<uint8_t> mBytes;
};

template <class T> class WDL_TypedBuf
{
  static_assert(std::is_trivially_copyable_v<T>, "WDL_TypedBuf holds plain values");

public:
  T* Get() { return mItems.empty() ? nullptr : mItems.data(); }
  const T* Get() const { return mItems.empty() ? nullptr : mItems.data(); }
  int GetSize() const { return static_cast<int>(mItems.size()); }
  T* Resize(int newSize)
  {
    mItems.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0);
    return Get();
  }
  void Reserve(int n) { mItems.reserve(n > 0 ? static_cast<size_t>(n) : 0); }
  T* Add(const T& item)
  {
    mItems.push_back(item);
    return &mItems.back();
  }
  void Delete(int idx)
  {
    if (idx >= 0 && idx < GetSize())
      mItems.erase(mItems.begin() + idx);
  }

private:
  std::vector<T> mItems;
};
