#pragma once
// Build-time configuration of a plug-in: identity, buses and editor size. Filled by the plug-in class and
// handed down the constructor chain of the framework bases.

#include <cstdint>

namespace iplug
{

/** Plug-in API a framework object is built for: VST3, CLAP or LV2 in this build. */
enum EAPI : int
{
  kAPIVST2 = 0,
  kAPIVST3 = 1,
  kAPIAU = 2,
  kAPIAUv3 = 3,
  kAPIAAX = 4,
  kAPIAPP = 5,
  kAPIWAM = 6,
  kAPIWEB = 7,
  kAPICLAP = 8,
  kAPILV2 = 9
};

struct Config
{
  int nParams = 0;
  int nPresets = 0;
  const char* channelIOStr = "";
  const char* pluginName = "";
  const char* productName = "";
  const char* mfrName = "";
  int vendorVersion = 0;
  int uniqueID = 0;
  int mfrID = 0;
  int latency = 0;
  bool plugDoesMidiIn = false;
  bool plugDoesMidiOut = false;
  bool plugDoesMPE = false;
  bool plugDoesChunks = false;
  int plugType = 0;
  bool plugHasUI = false;
  int plugWidth = 0;
  int plugHeight = 0;
  bool plugHostResize = false;
  int plugMinWidth = 10;
  int plugMaxWidth = 100000;
  int plugMinHeight = 10;
  int plugMaxHeight = 100000;
  const char* bundleID = "";
  const char* appGroupID = "";
};

/** Per-instance information a host binding passes to the plug-in's constructor (empty for VST3). */
struct InstanceInfo
{
};

/** Packs a four-character code with its first character in the most significant byte. */
constexpr int32_t FourCC(const char (&code)[5])
{
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[3])));
}

} // namespace iplug
