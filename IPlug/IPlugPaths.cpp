#include "IPlugPaths.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <strings.h>

namespace iplug
{

namespace
{

// Its address lies in whichever shared object this library was linked into.
const char kModuleAnchor = 0;

struct BundleRecord
{
  std::string bundlePath;
  std::string executablePath;
};

std::mutex& RegistryMutex()
{
  static std::mutex m;
  return m;
}

std::map<std::string, BundleRecord>& Registry()
{
  static std::map<std::string, BundleRecord> r;
  return r;
}

bool FindBundle(const char* bundleID, BundleRecord& record)
{
  if (!bundleID || !*bundleID)
    return false;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto it = Registry().find(bundleID);
  if (it == Registry().end())
    return false;
  record = it->second;
  return true;
}

std::string StripTrailingSlashes(std::string p)
{
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  return p;
}

std::string LastComponent(std::string_view p)
{
  const size_t slash = p.rfind('/');
  return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

std::string Parent(std::string_view p)
{
  const size_t slash = p.rfind('/');
  if (slash == std::string_view::npos)
    return "";
  return slash == 0 ? "/" : std::string(p.substr(0, slash));
}

// A VST3 bundle keeps its resources in Contents/Resources; an LV2 bundle (a folder ending in ".lv2") in Resources.
std::string ResourcesFolder(const std::string& bundlePath)
{
  const std::string name = LastComponent(bundlePath);
  const bool lv2 = name.size() > 4 && name.compare(name.size() - 4, 4, ".lv2") == 0;
  return bundlePath + (lv2 ? "/Resources" : "/Contents/Resources");
}

bool IsFile(const std::string& p)
{
  struct stat st;
  return !p.empty() && ::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// An XDG variable counts only when it holds an absolute path.
std::string AbsoluteEnv(const char* var)
{
  const char* v = std::getenv(var);
  return (v && v[0] == '/') ? StripTrailingSlashes(v) : std::string();
}

std::string Home()
{
  const char* home = std::getenv("HOME");
  if (home && *home)
    return StripTrailingSlashes(home);
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pw, buf, sizeof(buf), &found) == 0 && found && found->pw_dir)
    return StripTrailingSlashes(found->pw_dir);
  return "";
}

std::string ConfigHome()
{
  std::string p = AbsoluteEnv("XDG_CONFIG_HOME");
  return p.empty() ? Home() + "/.config" : p;
}

std::string DataHome()
{
  std::string p = AbsoluteEnv("XDG_DATA_HOME");
  return p.empty() ? Home() + "/.local/share" : p;
}

// One value of user-dirs.dirs: a shell word, "$HOME/..." or an absolute path. Empty when unusable.
std::string UserDirValue(std::string_view v, const std::string& home)
{
  std::string word;
  if (!v.empty() && v.front() == '"')
  {
    for (size_t i = 1; i < v.size() && v[i] != '"'; i++)
    {
      if (v[i] == '\\' && i + 1 < v.size())
        i++;
      word += v[i];
    }
  }
  else
  {
    for (size_t i = 0; i < v.size() && v[i] != ' ' && v[i] != '\t' && v[i] != '\r'; i++)
      word += v[i];
  }

  for (std::string_view prefix : {std::string_view("$HOME"), std::string_view("${HOME}")})
  {
    if (word.compare(0, prefix.size(), prefix) == 0 && (word.size() == prefix.size() || word[prefix.size()] == '/'))
      return StripTrailingSlashes(home + word.substr(prefix.size()));
  }
  return word.size() > 0 && word[0] == '/' ? StripTrailingSlashes(word) : std::string();
}

// A folder from user-dirs.dirs (e.g. "XDG_MUSIC_DIR"), else ~/<fallback>. The last assignment wins.
std::string UserDir(const char* key, const char* fallback)
{
  const std::string home = Home();
  std::string result;
  std::ifstream file(ConfigHome() + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = std::string(key) + "=";
  int nLines = 0;
  while (file && std::getline(file, line) && ++nLines < 10000)
  {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
      continue;
    if (line.compare(start, prefix.size(), prefix) != 0)
      continue;
    std::string value = UserDirValue(std::string_view(line).substr(start + prefix.size()), home);
    if (!value.empty())
      result = value;
  }
  return result.empty() ? home + "/" + fallback : result;
}

// The extension test: text after name's last "." (the whole name without one) equals type, ignoring case.
bool ExtensionMatches(std::string_view name, const char* type)
{
  const size_t dot = name.rfind('.');
  const std::string ext(dot == std::string_view::npos ? name : name.substr(dot + 1));
  return type && strcasecmp(ext.c_str(), type) == 0;
}

std::string Stem(std::string_view name)
{
  const size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

// The file at folder/stem with the name's own extension, else with type's spelling (file names are case-sensitive
// here, unlike the extension test).
bool FindWithExtension(const std::string& folderAndStem, std::string_view name, const char* type, WDL_String& result)
{
  const size_t dot = name.rfind('.');
  const std::string ownExt(dot == std::string_view::npos ? name : name.substr(dot + 1));
  for (const std::string& ext : {ownExt, std::string(type)})
  {
    const std::string candidate = folderAndStem + "." + ext;
    if (IsFile(candidate))
    {
      result.Set(candidate.c_str());
      return true;
    }
  }
  return false;
}

} // namespace

void SetBundlePath(const char* bundleID, const char* bundlePath, const char* executablePath)
{
  if (!bundleID || !*bundleID || !bundlePath || !*bundlePath)
    return;
  BundleRecord record;
  record.bundlePath = StripTrailingSlashes(bundlePath);
  if (executablePath && *executablePath)
    record.executablePath = executablePath;
  else
  {
    std::string name = LastComponent(record.bundlePath);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0)
      name.resize(name.size() - 5);
    record.executablePath = record.bundlePath + "/Contents/x86_64-linux/" + name + ".so";
  }
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry()[bundleID] = record;
}

void ClearBundlePath(const char* bundleID)
{
  if (!bundleID)
    return;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry().erase(bundleID);
}

bool GetBundlePath(const char* bundleID, WDL_String& path)
{
  BundleRecord record;
  if (!FindBundle(bundleID, record))
    return false;
  path.Set(record.bundlePath.c_str());
  return true;
}

bool GetModulePath(const void* addressInModule, WDL_String& path)
{
  Dl_info info{};
  if (!addressInModule || dladdr(addressInModule, &info) == 0 || !info.dli_fname || !*info.dli_fname)
    return false;
  path.Set(info.dli_fname);
  return true;
}

bool BundlePathFromModulePath(const char* modulePath, WDL_String& bundlePath)
{
  if (!modulePath || !*modulePath)
    return false;
  const std::string archFolder = Parent(modulePath);
  const std::string arch = LastComponent(archFolder);
  const std::string contents = Parent(archFolder);
  const std::string bundle = Parent(contents);
  const std::string bundleName = LastComponent(bundle);
  const bool archOK = arch.size() > 6 && arch.compare(arch.size() - 6, 6, "-linux") == 0;
  const bool bundleOK = bundleName.size() > 5 && bundleName.compare(bundleName.size() - 5, 5, ".vst3") == 0;
  if (!archOK || LastComponent(contents) != "Contents" || !bundleOK)
    return false;
  bundlePath.Set(bundle.c_str());
  return true;
}

bool RegisterBundleFromModule(const char* bundleID, const void* addressInModule)
{
  if (!addressInModule)
    addressInModule = &kModuleAnchor;
  WDL_String module, bundle;
  if (!GetModulePath(addressInModule, module) || !BundlePathFromModulePath(module.Get(), bundle))
    return false;
  SetBundlePath(bundleID, bundle.Get(), module.Get());
  BundleRecord check;
  return FindBundle(bundleID, check);
}

void HostPath(WDL_String& path, const char* bundleID)
{
  BundleRecord record;
  if (FindBundle(bundleID, record))
    path.Set(record.executablePath.c_str());
}

void PluginPath(WDL_String& path, const char* bundleID)
{
  BundleRecord record;
  if (FindBundle(bundleID, record))
  {
    std::string folder = Parent(record.bundlePath);
    if (folder.empty() || folder.back() != '/')
      folder += '/';
    path.Set(folder.c_str());
  }
}

void BundleResourcePath(WDL_String& path, const char* bundleID)
{
  BundleRecord record;
  if (FindBundle(bundleID, record))
    path.Set(ResourcesFolder(record.bundlePath).c_str());
}

void UserHomePath(WDL_String& path) { path.Set(Home().c_str()); }

void DesktopPath(WDL_String& path) { path.Set(UserDir("XDG_DESKTOP_DIR", "Desktop").c_str()); }

void SharedMusicPath(WDL_String& path) { path.Set(UserDir("XDG_MUSIC_DIR", "Music").c_str()); }

void AppSupportPath(WDL_String& path, bool isSystem) { path.Set(isSystem ? "/usr/share" : DataHome().c_str()); }

void PreferencesPath(WDL_String& path) { path.Set(ConfigHome().c_str()); }

void INIPath(WDL_String& path, const char* pluginName)
{
  AppSupportPath(path, false);
  path.AppendFormatted(0, "/%s", pluginName ? pluginName : "");
}

void VST3PresetsPath(WDL_String& path, const char* mfrName, const char* pluginName, bool isSystem)
{
  const std::string root = isSystem ? std::string("/usr/share/vst3/presets") : Home() + "/.vst3/presets";
  path.SetFormatted(1024, "%s/%s/%s/", root.c_str(), mfrName ? mfrName : "", pluginName ? pluginName : "");
}

void AppGroupContainerPath(WDL_String& path, const char* appGroupID)
{
  if (!appGroupID || !*appGroupID)
    return;
  path.Set((DataHome() + "/" + appGroupID).c_str());
}

bool AppIsSandboxed()
{
  if (::access("/.flatpak-info", F_OK) == 0)
    return true;
  const char* snap = std::getenv("SNAP");
  return snap && *snap;
}

bool IsXPCAuHost() { return false; }

bool IsOOPAuv3AppExtension() { return false; }

bool GetResourcePathFromBundle(const char* name, const char* type, WDL_String& result, const char* bundleID)
{
  result.Set("");
  BundleRecord record;
  if (!name || !type || !ExtensionMatches(name, type) || !FindBundle(bundleID, record))
    return false;
  const std::string stem = Stem(name);
  if (stem.empty())
    return false;
  return FindWithExtension(ResourcesFolder(record.bundlePath) + "/" + stem, name, type, result);
}

bool GetResourcePathFromSharedLocation(const char* name, const char* type, WDL_String& result,
                                       const char* sharedResourcesSubPath)
{
  result.Set("");
  if (!name || !type || !ExtensionMatches(name, type))
    return false;
  const std::string fileStem = Stem(LastComponent(name));
  if (fileStem.empty() || !sharedResourcesSubPath)
    return false;
  WDL_String music;
  SharedMusicPath(music);
  const std::string folder = std::string(music.Get()) + "/" + sharedResourcesSubPath + "/Resources/";
  return FindWithExtension(folder + fileStem, LastComponent(name), type, result);
}

namespace
{
struct EmbeddedTable
{
  const EmbeddedResource* resources;
  int count;
};

std::map<std::string, EmbeddedTable>& EmbeddedRegistry()
{
  static std::map<std::string, EmbeddedTable> r;
  return r;
}
} // namespace

void RegisterEmbeddedResources(const char* bundleID, const EmbeddedResource* resources, int count)
{
  if (!bundleID || !*bundleID)
    return;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  if (!resources || count <= 0)
    EmbeddedRegistry().erase(bundleID);
  else
    EmbeddedRegistry()[bundleID] = {resources, count};
}

const EmbeddedResource* FindEmbeddedResource(const char* name, const char* type, const char* bundleID)
{
  if (!name || !*name || !type || !bundleID || !ExtensionMatches(name, type))
    return nullptr;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  const auto it = EmbeddedRegistry().find(bundleID);
  if (it == EmbeddedRegistry().end())
    return nullptr;
  const std::string wanted = LastComponent(name);
  for (int i = 0; i < it->second.count; i++)
  {
    const EmbeddedResource& r = it->second.resources[i];
    if (r.name && wanted == r.name)
      return &r;
  }
  return nullptr;
}

bool LocateResource(const char* name, const char* type, WDL_String& result, const char* bundleID, void* /*instance*/,
                    const char* sharedResourcesSubPath)
{
  if (!name || !*name)
    return false;
  if (GetResourcePathFromBundle(name, type, result, bundleID))
    return true;
  if (GetResourcePathFromSharedLocation(name, type, result, sharedResourcesSubPath))
    return true;
  if (IsFile(name))
  {
    result.Set(name);
    return true;
  }
  return false;
}

} // namespace iplug
