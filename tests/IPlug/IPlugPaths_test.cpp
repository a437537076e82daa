#include <gtest/gtest.h>

#include "IPlugPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace iplug;
namespace fs = std::filesystem;

namespace
{

// A temporary HOME with the XDG variables cleared; everything is restored afterwards.
class IPlugPathsTest : public ::testing::Test
{
protected:
  std::string root, home;

  void SetUp() override
  {
    char tmpl[] = "/tmp/iplugpathsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    home = root + "/home";
    fs::create_directories(home);
    for (const char* var : kVars)
    {
      const char* v = std::getenv(var);
      saved.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(var);
    }
    setenv("HOME", home.c_str(), 1);
  }

  void TearDown() override
  {
    for (auto& [var, value] : saved)
    {
      if (value)
        setenv(var, value->c_str(), 1);
      else
        unsetenv(var);
    }
    fs::remove_all(root);
  }

  static void Touch(const std::string& path, const char* text = "x")
  {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
  }

  static std::string Str(void (*fn)(WDL_String&))
  {
    WDL_String s;
    fn(s);
    return s.Get();
  }

private:
  static constexpr const char* kVars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "SNAP"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

} // namespace

TEST_F(IPlugPathsTest, UserFoldersFollowXdgRules)
{
  EXPECT_EQ(Str(UserHomePath), home);
  EXPECT_EQ(Str(DesktopPath), home + "/Desktop");
  EXPECT_EQ(Str(SharedMusicPath), home + "/Music");
  EXPECT_EQ(Str(PreferencesPath), home + "/.config");
  WDL_String s;
  AppSupportPath(s, false);
  EXPECT_EQ(std::string(s.Get()), home + "/.local/share");
  AppSupportPath(s, true);
  EXPECT_STREQ(s.Get(), "/usr/share");
  INIPath(s, "Brevant");
  EXPECT_EQ(std::string(s.Get()), home + "/.local/share/Brevant");

  VST3PresetsPath(s, "Quillmere", "Brevant", false);
  EXPECT_EQ(std::string(s.Get()), home + "/.vst3/presets/Quillmere/Brevant/");
  VST3PresetsPath(s, "Quillmere", "Brevant", true);
  EXPECT_STREQ(s.Get(), "/usr/share/vst3/presets/Quillmere/Brevant/");
  VST3PresetsPath(s, std::string(2000, 'm').c_str(), "Brevant", false);
  EXPECT_EQ(s.GetLength(), 1024);

  setenv("XDG_DATA_HOME", (root + "/data/").c_str(), 1);
  AppSupportPath(s, false);
  EXPECT_EQ(std::string(s.Get()), root + "/data");
  setenv("XDG_DATA_HOME", "relative/data", 1); // relative values are ignored
  AppSupportPath(s, false);
  EXPECT_EQ(std::string(s.Get()), home + "/.local/share");

  // user-dirs.dirs lives in the configuration folder; the last valid assignment wins.
  setenv("XDG_CONFIG_HOME", (root + "/cfg").c_str(), 1);
  Touch(root + "/cfg/user-dirs.dirs", "# comment\n"
                                      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                      "XDG_MUSIC_DIR=\"/srv/music\"\n"
                                      "XDG_MUSIC_DIR=\"relative/ignored\"\n"
                                      "  XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
  EXPECT_EQ(Str(DesktopPath), home + "/Schreibtisch");
  EXPECT_EQ(Str(SharedMusicPath), "/srv/music");

  WDL_String group("unchanged");
  AppGroupContainerPath(group, nullptr);
  EXPECT_STREQ(group.Get(), "unchanged");
}

TEST_F(IPlugPathsTest, BundleRegistrationAndFolders)
{
  const std::string bundle = root + "/plugins/Brevant.vst3";
  WDL_String found;
  ASSERT_TRUE(BundlePathFromModulePath((bundle + "/Contents/x86_64-linux/Brevant.so").c_str(), found));
  EXPECT_EQ(std::string(found.Get()), bundle);
  EXPECT_FALSE(BundlePathFromModulePath((root + "/plugins/Brevant.so").c_str(), found));
  EXPECT_FALSE(BundlePathFromModulePath("/x/Brevant/Contents/x86_64-linux/Brevant.so", found));
  EXPECT_FALSE(BundlePathFromModulePath("Brevant.so", found));

  WDL_String module;
  EXPECT_FALSE(GetModulePath(nullptr, module));
  ASSERT_TRUE(GetModulePath(reinterpret_cast<const void*>(&LocateResource), module));
  EXPECT_GT(module.GetLength(), 0);
  EXPECT_FALSE(RegisterBundleFromModule("com.test.notabundle")); // the test program is not in a bundle

  WDL_String path("unchanged");
  HostPath(path, "com.quillmere.unknown");
  PluginPath(path, "com.quillmere.unknown");
  BundleResourcePath(path, "com.quillmere.unknown");
  EXPECT_STREQ(path.Get(), "unchanged");

  SetBundlePath("com.quillmere.brevant.test", (bundle + "/").c_str());
  HostPath(path, "com.quillmere.brevant.test");
  EXPECT_EQ(std::string(path.Get()), bundle + "/Contents/x86_64-linux/Brevant.so");
  PluginPath(path, "com.quillmere.brevant.test");
  EXPECT_EQ(std::string(path.Get()), root + "/plugins/");
  BundleResourcePath(path, "com.quillmere.brevant.test");
  EXPECT_EQ(std::string(path.Get()), bundle + "/Contents/Resources");
  ClearBundlePath("com.quillmere.brevant.test");
  EXPECT_FALSE(GetBundlePath("com.quillmere.brevant.test", path));
}

TEST_F(IPlugPathsTest, LocatesResources)
{
  const char* id = "com.quillmere.brevant.res";
  const std::string res = root + "/Brevant.vst3/Contents/Resources/";
  Touch(res + "BG.png");
  Touch(res + "img/KNOB.png");
  Touch(res + "Roboto-Regular.TTF");
  SetBundlePath(id, (root + "/Brevant.vst3").c_str());

  WDL_String r;
  EXPECT_TRUE(LocateResource("BG.png", "png", r, id, nullptr, nullptr));
  EXPECT_EQ(std::string(r.Get()), res + "BG.png");
  EXPECT_TRUE(LocateResource("BG.png", "PNG", r, id, nullptr, nullptr)); // extension test ignores case
  EXPECT_EQ(std::string(r.Get()), res + "BG.png");
  EXPECT_TRUE(LocateResource("Roboto-Regular.ttf", "TTF", r, id, nullptr, nullptr)); // type's spelling
  EXPECT_EQ(std::string(r.Get()), res + "Roboto-Regular.TTF");
  EXPECT_TRUE(LocateResource("img/KNOB.png", "png", r, id, nullptr, nullptr)); // keeps the folder part
  EXPECT_FALSE(GetResourcePathFromBundle(".png", "png", r, id));
  EXPECT_FALSE(GetResourcePathFromBundle("NEEDLE.png", "png", r, id));
  EXPECT_STREQ(r.Get(), "");
  EXPECT_FALSE(GetResourcePathFromBundle("BG.png", "png", r, "com.unknown"));

  // Wrong extension: both searches fail; only an existing path given as the name succeeds.
  EXPECT_FALSE(LocateResource("BG.jpg", "png", r, id, nullptr, nullptr));
  const std::string jpg = root + "/BG.jpg";
  Touch(jpg);
  EXPECT_TRUE(LocateResource(jpg.c_str(), "png", r, id, nullptr, nullptr));
  EXPECT_EQ(std::string(r.Get()), jpg);
  EXPECT_FALSE(LocateResource((root + "/Brevant.vst3").c_str(), "vst3", r, nullptr, nullptr, nullptr)); // a folder
  EXPECT_FALSE(LocateResource("", "png", r, id, nullptr, nullptr));
  EXPECT_FALSE(LocateResource(nullptr, "png", r, id, nullptr, nullptr));

  // Shared location: <music>/<sub>/Resources/<file name>.
  Touch(home + "/Music/Quillmere/Resources/shared.png");
  EXPECT_TRUE(LocateResource("some/dir/shared.png", "png", r, id, nullptr, "Quillmere"));
  EXPECT_EQ(std::string(r.Get()), home + "/Music/Quillmere/Resources/shared.png");
  EXPECT_FALSE(GetResourcePathFromSharedLocation("shared.png", "png", r, nullptr));
  ClearBundlePath(id);
}

TEST_F(IPlugPathsTest, SandboxDetection)
{
  const bool flatpak = access("/.flatpak-info", F_OK) == 0;
  EXPECT_EQ(AppIsSandboxed(), flatpak);
  setenv("SNAP", "/snap/host/1", 1);
  EXPECT_TRUE(AppIsSandboxed());
  EXPECT_FALSE(IsXPCAuHost());
  EXPECT_FALSE(IsOOPAuv3AppExtension());
}
