#pragma once
// Brevant's build-time identity, bus layouts and editor size.

#include "IPlugConfig.h"

namespace brevant
{

constexpr const char* kPluginName = "Brevant";
constexpr const char* kProductName = "Brevant";
constexpr const char* kMfrName = "Quillmere";
constexpr const char* kMfrURL = "https://quillmere.example/brevant";
constexpr const char* kMfrEmail = "support@quillmere.example";
constexpr int kVersion = 0x10000;
constexpr const char* kVersionStr = "1.0.0";
constexpr const char* kChannelIO = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";
constexpr const char* kBundleID = "com.Quillmere.vst3.Brevant";
constexpr const char* kVST3Subcategory = "Fx|Dynamics";
constexpr const char* kCLAPID = "com.quillmere.brevant";
constexpr const char* kLV2URI = "https://quillmere.example/brevant";
constexpr const char* kLV2MonoURI = "https://quillmere.example/brevant#mono";
constexpr const char* kLV2UIURI = "https://quillmere.example/brevant#ui";
constexpr const char* kDescription = "Three-band dynamics processor";
constexpr int kUniqueID = iplug::FourCC("BRV1");
constexpr int kMfrID = iplug::FourCC("Qlmr");
constexpr int kEditorWidth = 997;
constexpr int kEditorHeight = 612;
constexpr int kEditorFPS = 60;

constexpr int kNumParams = 31;
constexpr int kNumPresets = 9; // the factory presets (BrevantPresets.cpp)

/** The configuration every Brevant instance is built from. */
constexpr iplug::Config MakeConfig()
{
  iplug::Config c;
  c.nParams = kNumParams;
  c.nPresets = kNumPresets;
  c.channelIOStr = kChannelIO;
  c.pluginName = kPluginName;
  c.productName = kProductName;
  c.mfrName = kMfrName;
  c.vendorVersion = kVersion;
  c.uniqueID = kUniqueID;
  c.mfrID = kMfrID;
  c.latency = 0;
  c.plugDoesMidiIn = false;
  c.plugDoesMidiOut = false;
  c.plugDoesMPE = false;
  c.plugDoesChunks = true;
  c.plugType = 0;
  c.plugHasUI = true;
  c.plugWidth = kEditorWidth;
  c.plugHeight = kEditorHeight;
  c.plugHostResize = false;
  // Half and twice the nominal size; the corner resizer keeps the aspect.
  c.plugMinWidth = kEditorWidth / 2;
  c.plugMaxWidth = kEditorWidth * 2;
  c.plugMinHeight = kEditorHeight / 2;
  c.plugMaxHeight = kEditorHeight * 2;
  c.bundleID = kBundleID;
  return c;
}

} // namespace brevant
