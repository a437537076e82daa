#include "IPopupMenu.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace iplug::igraphics
{

IPopupMenu::Item* IPopupMenu::AddItem(Item* pItem, int index)
{
  if (!pItem)
    return nullptr;
  std::unique_ptr<Item> item(pItem);
  auto pos = mItems.end();
  if (index == kSorted)
  {
    // Binary search for the first item that sorts after the new one.
    pos = std::upper_bound(mItems.begin(), mItems.end(), pItem,
                           [](const Item* a, const std::unique_ptr<Item>& b)
                           { return strcasecmp(a->GetText(), b->GetText()) < 0; });
  }
  else if (index >= 0 && index < NItems())
    pos = mItems.begin() + index;
  mItems.insert(pos, std::move(item));
  return pItem;
}

void IPopupMenu::RemoveItem(int index)
{
  if (index >= 0 && index < NItems())
    mItems.erase(mItems.begin() + index);
}

IPopupMenu::Item* IPopupMenu::GetItem(int index) const
{
  return (index >= 0 && index < NItems()) ? mItems[static_cast<size_t>(index)].get() : nullptr;
}

IPopupMenu::Item* IPopupMenu::GetItem(const char* text) const
{
  if (!text)
    return nullptr;
  for (const auto& item : mItems)
    if (std::strcmp(item->GetText(), text) == 0)
      return item.get();
  return nullptr;
}

void IPopupMenu::Clear()
{
  mItems.clear();
  mPrefix = 0;
  mCanMultiCheck = false;
}

void IPopupMenu::CheckItem(int index, bool check)
{
  if (Item* item = GetItem(index))
    item->SetChecked(check);
}

void IPopupMenu::CheckItemAlone(int index)
{
  for (int i = 0; i < NItems(); i++)
    mItems[static_cast<size_t>(i)]->SetChecked(i == index);
}

bool IPopupMenu::IsItemChecked(int index) const
{
  const Item* item = GetItem(index);
  return item && item->GetChecked();
}

} // namespace iplug::igraphics
