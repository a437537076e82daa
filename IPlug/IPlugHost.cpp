#include "IPlugHost.h"

#include <cctype>
#include <cstring>

namespace iplug
{

namespace
{

struct HostEntry
{
  const char* text;
  EHost host;
};

// Order matters: the first text found wins, so longer names precede names they contain.
constexpr HostEntry kHostTable[] = {
    {"reaper", kHostReaper},
    {"protools", kHostProTools},
    {"cubase", kHostCubase},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"vegas", kHostVegas},
    {"fruity", kHostFL},
    {"samplitude", kHostSamplitude},
    {"live", kHostAbletonLive},
    {"tracktion", kHostTracktion},
    {"ntracks", kHostNTracks},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"bias", kHostBias},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"garageband", kHostGarageBand},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"ardour", kHostArdour},
    {"renoise", kHostRenoise},
    {"openmpt", kHostOpenMPT},
    {"wavelab elements", kHostWaveLabElements},
    {"wavelab", kHostWaveLab},
    {"twistedwave", kHostTwistedWave},
    {"bitwig studio", kHostBitwig},
    {"reason", kHostReason},
    {"gwvst", kHostGWVSTHost},
    {"waveform", kHostWaveform},
    {"audacity", kHostAudacity},
    {"acoustica", kHostAcoustica},
    {"plugindoctor", kHostPluginDoctor},
    {"izotope rx", kHostiZotopeRX},
    {"savihost", kHostSAVIHost},
    {"blue cat's vst host", kHostBlueCat},
    {"mixbus", kHostMixbus},
    {"standalone", kHostStandalone},
    {"www", kHostWWW},
};

static_assert(sizeof(kHostTable) / sizeof(kHostTable[0]) == 45);

} // namespace

EHost LookUpHost(const char* hostName)
{
  if (!hostName)
    return kHostUnknown;

  char lower[kMaxHostNameLen + 1];
  int n = 0;
  for (; n < kMaxHostNameLen && hostName[n]; n++)
    lower[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(hostName[n])));
  lower[n] = '\0';

  for (const HostEntry& entry : kHostTable)
  {
    if (std::strstr(lower, entry.text))
      return entry.host;
  }
  return kHostUnknown;
}

void GetHostNameStr(EHost host, char* name, int maxLen)
{
  if (!name || maxLen <= 0)
    return;
  name[0] = '\0';
  for (const HostEntry& entry : kHostTable)
  {
    if (entry.host == host)
    {
      std::strncpy(name, entry.text, static_cast<size_t>(maxLen - 1));
      name[maxLen - 1] = '\0';
      return;
    }
  }
}

} // namespace iplug
