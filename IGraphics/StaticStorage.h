#pragma once
// Keyed store of owned objects shared by several users (graphics contexts, backends). Entries are keyed by
// name and scale; the user that brings the count to zero empties the store.

#include "mutex.h"
#include "wdlstring.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace iplug::igraphics
{

template <class T> class StaticStorage
{
public:
  /** Holds the store's mutex for a sequence of finds and adds. */
  class Accessor : private WDL_MutexLock
  {
  public:
    explicit Accessor(StaticStorage& storage) : WDL_MutexLock(&storage.mMutex), mStorage(storage) {}
    T* Find(const char* name, double scale = 1.) { return mStorage.Find(name, scale); }
    void Add(T* pData, const char* name, double scale = 1.) { mStorage.Add(pData, name, scale); }
    void Remove(T* pData) { mStorage.Remove(pData); }
    void Clear() { mStorage.Clear(); }
    void Retain() { mStorage.Retain(); }
    void Release() { mStorage.Release(); }

  private:
    StaticStorage& mStorage;
  };

  StaticStorage() = default;
  StaticStorage(const StaticStorage&) = delete;
  StaticStorage& operator=(const StaticStorage&) = delete;
  ~StaticStorage() { Clear(); }

  /** "name-2.0x": the text the hash is taken from. */
  static std::string KeyText(const char* name, double scale)
  {
    WDL_String key;
    key.SetFormatted(0, "%s-%.1fx", name ? name : "", scale);
    return key.Get();
  }

  int NEntries() const { return static_cast<int>(mDatas.size()); }
  int NUsers() const { return mCount; }

private:
  struct DataKey
  {
    size_t hash;
    WDL_String name;
    double scale;
    std::unique_ptr<T> data;
  };

  T* Find(const char* name, double scale)
  {
    const size_t hash = std::hash<std::string>{}(KeyText(name, scale));
    for (const DataKey& key : mDatas)
      if (key.hash == hash && key.scale == scale && key.name.EqualsCase(name ? name : ""))
        return key.data.get();
    return nullptr;
  }

  /** Appends; an existing entry of the same key is kept in front of it. */
  void Add(T* pData, const char* name, double scale)
  {
    mDatas.push_back(DataKey{std::hash<std::string>{}(KeyText(name, scale)), WDL_String(name ? name : ""), scale,
                             std::unique_ptr<T>(pData)});
  }

  void Remove(T* pData)
  {
    for (auto it = mDatas.begin(); it != mDatas.end(); ++it)
      if (it->data.get() == pData)
      {
        mDatas.erase(it);
        return;
      }
  }

  void Clear() { mDatas.clear(); }
  void Retain() { mCount++; }
  void Release()
  {
    if (--mCount <= 0)
    {
      mCount = 0;
      Clear();
    }
  }

  WDL_Mutex mMutex;
  int mCount = 0;
  std::vector<DataKey> mDatas;
};

} // namespace iplug::igraphics
