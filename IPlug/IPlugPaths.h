#pragma once
// Files and folders that belong to the plug-in: its bundle and resources, the user's standard folders
// (XDG base and user directories), preset folders and sandbox detection. Linux.
//
// A VST3 bundle on Linux is "<name>.vst3/Contents/<arch>-linux/<name>.so" with resources in
// "<name>.vst3/Contents/Resources". The module records its bundle when it is loaded (RegisterBundleFromModule
// or SetBundlePath); every bundle query below looks the identifier up in that record.

#include "wdlstring.h"

#include <cstddef>

namespace iplug
{

// --- Bundle registration ---------------------------------------------------------------------------------

/** Records the bundle root folder (".../<name>.vst3") of a bundle identifier, and the module's file. When
    executablePath is null it is taken as "<bundle>/Contents/x86_64-linux/<name>.so". Null or empty bundleID or
    bundlePath record nothing. A later registration of the same identifier replaces the earlier one. */
void SetBundlePath(const char* bundleID, const char* bundlePath, const char* executablePath = nullptr);

/** Forgets a bundle identifier (module exit). */
void ClearBundlePath(const char* bundleID);

/** The recorded bundle root of bundleID; false (path unchanged) when none is recorded. */
bool GetBundlePath(const char* bundleID, WDL_String& path);

/** The file of the shared object that contains addressInModule (dladdr). */
bool GetModulePath(const void* addressInModule, WDL_String& path);

/** The bundle root above a module file ".../<name>.vst3/Contents/<arch>-linux/<file>"; false when the module
    does not sit in such a bundle. */
bool BundlePathFromModulePath(const char* modulePath, WDL_String& bundlePath);

/** Finds the bundle of the shared object containing addressInModule (this library's own code when null) and
    records it for bundleID. Call from the module entry. False when the module is not inside a bundle. */
bool RegisterBundleFromModule(const char* bundleID, const void* addressInModule = nullptr);

// --- Bundle folders ---------------------------------------------------------------------------------------

/** The module file (shared object) of the bundle; unchanged when the bundle is unknown. */
void HostPath(WDL_String& path, const char* bundleID);

/** The folder that contains the bundle, with a trailing "/"; unchanged when the bundle is unknown. */
void PluginPath(WDL_String& path, const char* bundleID);

/** The bundle's resource folder "<bundle>/Contents/Resources"; unchanged when the bundle is unknown. */
void BundleResourcePath(WDL_String& path, const char* bundleID);

// --- User and system folders ------------------------------------------------------------------------------

/** $HOME, else the account's home folder from the password database. */
void UserHomePath(WDL_String& path);

/** XDG_DESKTOP_DIR from user-dirs.dirs, else ~/Desktop. */
void DesktopPath(WDL_String& path);

/** XDG_MUSIC_DIR from user-dirs.dirs, else ~/Music. */
void SharedMusicPath(WDL_String& path);

/** User: $XDG_DATA_HOME, else ~/.local/share. System: /usr/share. */
void AppSupportPath(WDL_String& path, bool isSystem = false);

/** User configuration folder: $XDG_CONFIG_HOME, else ~/.config. */
void PreferencesPath(WDL_String& path);

/** The user's application-support folder followed by "/<pluginName>". */
void INIPath(WDL_String& path, const char* pluginName);

/** User "~/.vst3/presets/<mfr>/<plug-in>/", system "/usr/share/vst3/presets/<mfr>/<plug-in>/"; at most 1024
    characters. */
void VST3PresetsPath(WDL_String& path, const char* mfrName, const char* pluginName, bool isSystem = false);

/** Linux has no application groups: a data folder shared by the group's programs, the user's
    application-support folder followed by "/<appGroupID>". Unchanged for a null or empty group. */
void AppGroupContainerPath(WDL_String& path, const char* appGroupID);

/** True under Flatpak (/.flatpak-info exists) or Snap ($SNAP set). */
bool AppIsSandboxed();

/** Audio Unit hosting checks; never true on Linux. */
bool IsXPCAuHost();
bool IsOOPAuv3AppExtension();

// --- Resources --------------------------------------------------------------------------------------------

/** "<resources>/<name>" of the bundle when name's extension equals type (case-insensitively) and the file
    exists. On failure result is empty. */
bool GetResourcePathFromBundle(const char* name, const char* type, WDL_String& result, const char* bundleID);

/** "<music folder>/<sharedResourcesSubPath>/Resources/<file name of name>" under the same extension rule. */
bool GetResourcePathFromSharedLocation(const char* name, const char* type, WDL_String& result,
                                       const char* sharedResourcesSubPath);

/** A file compiled into the module, under the name it has in a bundle's Resources folder. */
struct EmbeddedResource
{
  const char* name;
  const unsigned char* data;
  size_t size;
};

/** Records the files compiled into the module for bundleID. A module that is a single file (a .clap) has no
    Resources folder: the resource lookups of the graphics find its files here, after the bundle's folder. The table
    must outlive the registration; a later call for the same identifier replaces it, a null table forgets it. */
void RegisterEmbeddedResources(const char* bundleID, const EmbeddedResource* resources, int count);

/** The compiled-in file of bundleID called name, when its extension equals type (case-insensitively); else null. */
const EmbeddedResource* FindEmbeddedResource(const char* name, const char* type, const char* bundleID);

/** The bundle, then the shared location, then name itself as a path of an existing file. instance is unused. */
bool LocateResource(const char* name, const char* type, WDL_String& result, const char* bundleID, void* instance,
                    const char* sharedResourcesSubPath);

} // namespace iplug
