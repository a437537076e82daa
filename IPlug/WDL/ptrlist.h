#pragma once
// Ordered list of pointers. The list itself never deletes what it holds unless asked to
// (Delete/Empty with wantDelete), so one type serves owning and non-owning lists.

#include <algorithm>
#include <vector>

template <class T> class WDL_PtrList
{
public:
  WDL_PtrList() = default;
  WDL_PtrList(const WDL_PtrList&) = delete;
  WDL_PtrList& operator=(const WDL_PtrList&) = delete;

  int GetSize() const { return static_cast<int>(mList.size()); }
  T* Get(int idx) const { return (idx >= 0 && idx < GetSize()) ? mList[static_cast<size_t>(idx)] : nullptr; }
  T* GetLast() const { return mList.empty() ? nullptr : mList.back(); }
  T* const* GetList() const { return mList.data(); }

  T* Add(T* item)
  {
    mList.push_back(item);
    return item;
  }

  T* Insert(int idx, T* item)
  {
    idx = std::clamp(idx, 0, GetSize());
    mList.insert(mList.begin() + idx, item);
    return item;
  }

  /** Replaces entry idx; the old pointer is returned, not deleted. */
  T* Set(int idx, T* item)
  {
    if (idx < 0 || idx >= GetSize())
      return nullptr;
    std::swap(mList[static_cast<size_t>(idx)], item);
    return item;
  }

  int Find(const T* item) const
  {
    auto it = std::find(mList.begin(), mList.end(), item);
    return it == mList.end() ? -1 : static_cast<int>(it - mList.begin());
  }

  void Delete(int idx, bool wantDelete = false)
  {
    if (idx < 0 || idx >= GetSize())
      return;
    T* item = mList[static_cast<size_t>(idx)];
    mList.erase(mList.begin() + idx);
    if (wantDelete)
      delete item;
  }

  /** Removes the entry without deleting it; returns it. */
  T* Remove(int idx)
  {
    T* item = Get(idx);
    if (item)
      mList.erase(mList.begin() + idx);
    return item;
  }

  void Empty(bool wantDelete = false)
  {
    if (wantDelete)
    {
      // Detach first so destructors that look at the list see it empty.
      std::vector<T*> items;
      items.swap(mList);
      for (T* item : items)
        delete item;
    }
    else
      mList.clear();
  }

private:
  std::vector<T*> mList;
};

/** A list that owns its entries and deletes them with itself. */
template <class T> class WDL_PtrList_DeleteOnDestroy : public WDL_PtrList<T>
{
public:
  ~WDL_PtrList_DeleteOnDestroy() { this->Empty(true); }
};
