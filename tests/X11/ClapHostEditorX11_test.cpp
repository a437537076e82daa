// brevant-host's editor window for Brevant.clap (ClapEditor): the gui embedded in a top-level window of the host's,
// ticked by the host's timers on real time, its corner dragged with xdotool. Runs under xvfb-run.

#include <gtest/gtest.h>

#include "ClapEditor.h"
#include "HostCommands.h"
#include "X11TestSupport.h"

#include <filesystem>
#include <set>
#include <sstream>

using namespace brevant::host;
using x11test::Xdo;

namespace
{
constexpr double kAspect = 997.0 / 612.0;

// The panel's artwork gives many colours; an empty or flat window a few.
size_t Colours(const std::vector<uint8_t>& rgba, int w, int h)
{
  std::set<uint32_t> colours;
  for (int y = 0; y < h; y += 7)
    for (int x = 0; x < w; x += 7)
    {
      const uint8_t* p = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4];
      colours.insert(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
    }
  return colours.size();
}
} // namespace

TEST(ClapHostEditorX11, OpensDrawsGrowsByTheCornerKeepingTheAspectAndCloses)
{
  std::string error;
  auto plug = HostedClap::Create(BREVANT_CLAP_FILE, "", error);
  ASSERT_TRUE(plug) << error;
  ClapEditor editor(*plug);
  ASSERT_TRUE(editor.Open(error)) << error;
  EXPECT_EQ(editor.Width(), 997);
  EXPECT_EQ(editor.Height(), 612);
  editor.Run(400);
  ASSERT_NE(editor.ChildWindow(), 0u);
  std::vector<uint8_t> rgba;
  int w = 0, h = 0;
  ASSERT_TRUE(editor.Screenshot(rgba, w, h));
  EXPECT_EQ(w, 997);
  EXPECT_GT(Colours(rgba, w, h), 200u) << "the panel is drawn on the host's timers";

  Xdo(editor.ChildWindow(), "mousemove --window %W 990 605 mousedown 1 mousemove_relative 100 60 sleep 0.05 "
                            "mousemove_relative 100 60 mouseup 1");
  editor.Run(300);
  const auto& requests = editor.ResizeRequests();
  ASSERT_FALSE(requests.empty()) << "the drag reaches the host as request_resize";
  for (const auto& [rw, rh] : requests)
    EXPECT_NEAR(static_cast<double>(rw) / rh, kAspect, 0.01);
  EXPECT_GT(editor.Width(), 997);
  EXPECT_EQ(static_cast<uint32_t>(editor.Width()), requests.back().first);
  ASSERT_TRUE(editor.Screenshot(rgba, w, h));
  EXPECT_EQ(w, editor.Width()) << "the window itself grew";
  EXPECT_EQ(h, editor.Height());
  EXPECT_NEAR(static_cast<double>(w) / h, kAspect, 0.01);
  uint32_t gw = 0, gh = 0;
  const clap_plugin* p = plug->Plugin();
  const auto* gui = static_cast<const clap_plugin_gui*>(p->get_extension(p, CLAP_EXT_GUI));
  ASSERT_TRUE(gui->get_size(p, &gw, &gh));
  EXPECT_EQ(gw, static_cast<uint32_t>(w)) << "the gui has the window's size";
  EXPECT_EQ(gh, static_cast<uint32_t>(h));

  editor.Close();
  EXPECT_FALSE(editor.IsOpen());
  EXPECT_EQ(editor.Window(), 0u);
  EXPECT_FALSE(gui->get_size(p, &gw, &gh)) << "the gui is destroyed";
  // The gui can be created again after a clean close.
  ASSERT_TRUE(editor.Open(error)) << error;
  editor.Close();
}

TEST(ClapHostEditorX11, TheEditorCommandShowsAClapFileAndCapturesItsWindow)
{
  const std::string png = ::testing::TempDir() + "clap-editor.png";
  std::filesystem::remove(png);
  std::ostringstream out, err;
  const int status = RunHost(
      {"editor", BREVANT_CLAP_FILE, "--seconds", "0.2", "--screenshot", png, "--set", "Low Input=12"}, out, err);
  ASSERT_EQ(status, 0) << err.str();
  EXPECT_NE(out.str().find("editor: 997x612"), std::string::npos) << out.str();
  EXPECT_GT(std::filesystem::file_size(png), 10000u) << "a drawn panel, not a blank window";
}
