#pragma once
// Where each LV2 port of a plug-in sits. The binding and the bundle's description generator both use this one
// layout, so the indices a host reads from the .ttl are the ones the plug-in connects.
//
// Typical use:
//   const LV2PortLayout ports = LV2PortLayout::Make(plug.NParams(), 2, 2, 2);   // stereo in, stereo side-chain, out
//   ports.audioIn + 1    // the right input's port index
//
// Order: one control port per parameter (index == parameter index), the main audio inputs, the side-chain inputs,
// the audio outputs, the latency output, the host's enable switch.

#include <cstdint>

namespace iplug
{

struct LV2PortLayout
{
  uint32_t nParams = 0;
  uint32_t nIn = 0;   // main input channels
  uint32_t nSC = 0;   // side-chain channels
  uint32_t nOut = 0;  // output channels
  uint32_t audioIn = 0;
  uint32_t sidechainIn = 0;
  uint32_t audioOut = 0;
  uint32_t latency = 0;
  uint32_t enabled = 0;
  uint32_t count = 0;

  static constexpr LV2PortLayout Make(int nParams, int nIn, int nSC, int nOut)
  {
    LV2PortLayout l;
    l.nParams = static_cast<uint32_t>(nParams > 0 ? nParams : 0);
    l.nIn = static_cast<uint32_t>(nIn > 0 ? nIn : 0);
    l.nSC = static_cast<uint32_t>(nSC > 0 ? nSC : 0);
    l.nOut = static_cast<uint32_t>(nOut > 0 ? nOut : 0);
    l.audioIn = l.nParams;
    l.sidechainIn = l.audioIn + l.nIn;
    l.audioOut = l.sidechainIn + l.nSC;
    l.latency = l.audioOut + l.nOut;
    l.enabled = l.latency + 1;
    l.count = l.enabled + 1;
    return l;
  }

  bool IsParam(uint32_t port) const { return port < nParams; }
  bool IsAudioIn(uint32_t port) const { return port >= audioIn && port < sidechainIn; }
  bool IsSidechainIn(uint32_t port) const { return port >= sidechainIn && port < audioOut; }
  bool IsAudioOut(uint32_t port) const { return port >= audioOut && port < latency; }
};

/** What one LV2 plug-in of a module is: its URI and its channel counts (the stereo and the mono variant). */
struct LV2Variant
{
  const char* uri;
  int nIn;
  int nSC;
  int nOut;
};

} // namespace iplug
