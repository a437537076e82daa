#pragma once
// A framework interface of plug-in editor views: draw the editor without a window (screenshots, tests). Hosts
// query it from the IPlugView that createView returned; it depends on the VST3 interfaces only.

#include "pluginterfaces/base/funknown.h"

namespace iplug
{

class IPlugViewHeadless : public Steinberg::FUnknown
{
public:
  /** Opens the editor offscreen at a content scale; kResultFalse when it cannot be drawn here. */
  virtual Steinberg::tresult PLUGIN_API attachHeadless(float scale) = 0;
  /** Delivers what the processor produced for the editor, then draws what changed. */
  virtual Steinberg::tresult PLUGIN_API drawFrame() = 0;
  /** Writes the last frame, in device pixels, as a PNG file. */
  virtual Steinberg::tresult PLUGIN_API writeFramePNG(const char* path) = 0;

  static const Steinberg::FUID iid;
};
DECLARE_CLASS_IID(IPlugViewHeadless, 0x51A2B1C4, 0x7E0D4F36, 0x9B1E27C5, 0x3A8D6E02)

} // namespace iplug
