#pragma once
// Menu model shared by every menu path: value prompts, context menus, the platform's menus and the
// in-editor menu control.

#include "wdlstring.h"

#include <functional>
#include <memory>
#include <vector>

namespace iplug::igraphics
{

class IPopupMenu
{
public:
  class Item
  {
  public:
    enum EFlags : int
    {
      kNoFlags = 0,
      kDisabled = 1 << 0,
      kTitle = 1 << 1,
      kChecked = 1 << 2,
      kSeparator = 1 << 3
    };

    explicit Item(const char* text, int flags = kNoFlags, int tag = -1)
        : mText(text ? text : ""), mFlags(flags), mTag(tag)
    {
    }
    /** An item that opens a submenu; the item owns it. */
    Item(const char* text, IPopupMenu* pSubMenu, int tag = -1) : mText(text ? text : ""), mSubmenu(pSubMenu), mTag(tag)
    {
    }
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    const char* GetText() const { return mText.Get(); }
    void SetText(const char* text) { mText.Set(text); }
    int GetFlags() const { return mFlags; }
    bool GetEnabled() const { return !(mFlags & kDisabled); }
    bool GetChecked() const { return mFlags & kChecked; }
    bool GetIsTitle() const { return mFlags & kTitle; }
    bool GetIsSeparator() const { return mFlags & kSeparator; }
    int GetTag() const { return mTag; }
    IPopupMenu* GetSubmenu() const { return mSubmenu.get(); }
    bool GetIsChoosable() const { return GetEnabled() && !GetIsSeparator() && !GetIsTitle() && !GetSubmenu(); }

    void SetEnabled(bool enable) { SetFlag(kDisabled, !enable); }
    void SetChecked(bool check) { SetFlag(kChecked, check); }
    void SetTitle(bool title) { SetFlag(kTitle, title); }
    void SetTag(int tag) { mTag = tag; }
    void SetSubmenu(IPopupMenu* pSubmenu) { mSubmenu.reset(pSubmenu); }

  private:
    void SetFlag(int flag, bool on) { mFlags = on ? (mFlags | flag) : (mFlags & ~flag); }

    WDL_String mText;
    std::unique_ptr<IPopupMenu> mSubmenu;
    int mFlags = kNoFlags;
    int mTag = -1;
  };

  /** Called with the menu when a choice is made. */
  using IPopupFunction = std::function<void(IPopupMenu* pMenu)>;

  /** Item positions for AddItem: append, or insert in case-insensitive alphabetical order. */
  static constexpr int kAppend = -1;
  static constexpr int kSorted = -2;

  explicit IPopupMenu(const char* rootTitle = "", int prefix = 0, bool multiCheck = false)
      : mPrefix(prefix), mCanMultiCheck(multiCheck), mRootTitle(rootTitle ? rootTitle : "")
  {
  }
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  /** Takes ownership of the item; position kAppend, kSorted or an index. Returns the item. */
  Item* AddItem(Item* pItem, int index = kAppend);
  Item* AddItem(const char* text, int index = kAppend, int itemFlags = Item::kNoFlags)
  {
    return AddItem(new Item(text, itemFlags), index);
  }
  Item* AddItem(const char* text, IPopupMenu* pSubmenu, int index = kAppend)
  {
    return AddItem(new Item(text, pSubmenu), index);
  }
  Item* AddSeparator(int index = kAppend) { return AddItem(new Item("", Item::kSeparator), index); }
  void RemoveItem(int index);

  int NItems() const { return static_cast<int>(mItems.size()); }
  /** The item at index, or null. */
  Item* GetItem(int index) const;
  /** The first item with that text, or null. */
  Item* GetItem(const char* text) const;
  const char* GetItemText(int index) const
  {
    const Item* item = GetItem(index);
    return item ? item->GetText() : "";
  }

  /** Empties the items and resets the prefix style and the multi-check flag. */
  void Clear();

  void CheckItem(int index, bool check);
  /** Checks index and unchecks every other item. */
  void CheckItemAlone(int index);
  bool IsItemChecked(int index) const;

  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
  Item* GetChosenItem() const { return GetItem(mChosenItemIdx); }

  int GetPrefix() const { return mPrefix; }
  void SetPrefix(int prefix) { mPrefix = prefix; }
  bool GetCanMultiCheck() const { return mCanMultiCheck; }
  void SetMultiCheck(bool multiCheck) { mCanMultiCheck = multiCheck; }
  const char* GetRootTitle() const { return mRootTitle.Get(); }
  void SetRootTitle(const char* title) { mRootTitle.Set(title); }

  void SetFunction(IPopupFunction func) { mPopupFunc = std::move(func); }
  IPopupFunction GetFunction() const { return mPopupFunc; }
  void ExecFunction()
  {
    if (mPopupFunc)
      mPopupFunc(this);
  }

private:
  int mPrefix = 0;
  int mChosenItemIdx = -1;
  bool mCanMultiCheck = false;
  std::vector<std::unique_ptr<Item>> mItems;
  IPopupFunction mPopupFunc;
  WDL_String mRootTitle;
};

} // namespace iplug::igraphics
