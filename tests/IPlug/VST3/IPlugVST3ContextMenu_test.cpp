// The host's context menu for a parameter: built through IComponentHandler3 for the open view, with the
// editor's items, and each item calling back into the control that asked for it.

#include "IPopupMenu.h"
#include "TestPlugVST3.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "public.sdk/source/common/pluginview.h"

#include <gtest/gtest.h>

using namespace vst3test;
using iplug::igraphics::IPopupMenu;

namespace
{
class RecordingMenu final : public FObject, public IContextMenu
{
public:
  int32 PLUGIN_API getItemCount() override { return static_cast<int32>(items.size()); }
  tresult PLUGIN_API getItem(int32, Item&, IContextMenuTarget**) override { return kNotImplemented; }
  tresult PLUGIN_API addItem(const Item& item, IContextMenuTarget* target) override
  {
    items.push_back(item);
    targets.push_back(target);
    return kResultOk;
  }
  tresult PLUGIN_API removeItem(const Item&, IContextMenuTarget*) override { return kNotImplemented; }
  tresult PLUGIN_API popup(UCoord x, UCoord y) override
  {
    shownAt = {x, y};
    return kResultOk;
  }
  OBJ_METHODS(RecordingMenu, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IContextMenu)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<Item> items;
  std::vector<IContextMenuTarget*> targets;
  std::pair<UCoord, UCoord> shownAt{-1, -1};
};

class MenuHandler final : public FObject, public IComponentHandler, public IComponentHandler3
{
public:
  tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
  tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
  IContextMenu* PLUGIN_API createContextMenu(IPlugView* view, const ParamID* paramID) override
  {
    askedView = view;
    askedParam = paramID ? static_cast<int64>(*paramID) : -1;
    menu->addRef();
    return menu;
  }
  OBJ_METHODS(MenuHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IComponentHandler)
  DEF_INTERFACE(IComponentHandler3)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  ~MenuHandler() override { menu->release(); }
  RecordingMenu* menu = new RecordingMenu;
  IPlugView* askedView = nullptr;
  int64 askedParam = -2;
};

class Target final : public FObject, public IContextMenuTarget
{
public:
  tresult PLUGIN_API executeMenuItem(int32 tag) override
  {
    chosen = tag;
    return kResultOk;
  }
  OBJ_METHODS(Target, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IContextMenuTarget)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)
  int32 chosen = -1;
};
} // namespace

TEST(IPlugVST3ContextMenu, HostMenuCarriesTheEditorItemsForTheParameter)
{
  TestInstance plug;
  IPtr<MenuHandler> handler = owned(new MenuHandler);
  IPtr<CPluginView> view = owned(new CPluginView(nullptr));
  IPtr<Target> target = owned(new Target);
  IPopupMenu menu;
  menu.AddItem("Reset");
  menu.AddItem("Learn", IPopupMenu::kAppend, IPopupMenu::Item::kDisabled);

  // Without a view there is nothing to anchor a menu to.
  plug->setComponentHandler(handler);
  plug->PopupHostContextMenuForParam(kTestSteps, menu, target, 10, 20);
  EXPECT_EQ(handler->askedParam, -2);

  plug->SetView(view);
  plug->PopupHostContextMenuForParam(kTestSteps, menu, target, 10, 20);
  EXPECT_EQ(handler->askedView, view.get());
  EXPECT_EQ(handler->askedParam, kTestSteps);
  RecordingMenu& shown = *handler->menu;
  ASSERT_EQ(shown.items.size(), 2u);
  EXPECT_EQ(Str(shown.items[0].name), "Reset");
  EXPECT_EQ(shown.items[0].tag, 0);
  EXPECT_EQ(shown.items[0].flags, 0);
  EXPECT_EQ(shown.items[1].tag, 1);
  EXPECT_EQ(shown.items[1].flags, IContextMenuItem::kIsDisabled);
  EXPECT_EQ(shown.shownAt, std::make_pair(UCoord(10), UCoord(20)));
  shown.targets[0]->executeMenuItem(shown.items[0].tag);
  EXPECT_EQ(target->chosen, 0);
  plug->SetView(nullptr);
  plug->setComponentHandler(nullptr);
}
