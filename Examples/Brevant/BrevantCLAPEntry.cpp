// Brevant's CLAP module: its descriptor and instance creation.

#include "Brevant.h"

#include "IPlugCLAP_Entry.h"
#include "IPlugPaths.h"

#include "clap/plugin-features.h"

using namespace iplug;

// The artwork and the font compiled into the module (generated at build time).
const EmbeddedResource* BrevantEmbeddedResources(int& count);

namespace
{
const char* kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_COMPRESSOR, CLAP_PLUGIN_FEATURE_STEREO,
                           CLAP_PLUGIN_FEATURE_MONO, nullptr};

const clap_plugin_descriptor kDescriptor = {
    CLAP_VERSION_INIT, brevant::kCLAPID,   brevant::kPluginName, brevant::kMfrName,     brevant::kMfrURL,
    brevant::kMfrURL,  brevant::kMfrURL,   brevant::kVersionStr, brevant::kDescription, kFeatures,
};
} // namespace

const clap_plugin_descriptor& iplug::GetCLAPDescriptor() { return kDescriptor; }

IPlugCLAP* iplug::MakeCLAPPlug(const InstanceInfo& info)
{
  // The editor finds its resources by the bundle identifier; this module has them compiled in.
  static const bool registered = []
  {
    int count = 0;
    const EmbeddedResource* resources = BrevantEmbeddedResources(count);
    RegisterEmbeddedResources(brevant::kBundleID, resources, count);
    return true;
  }();
  (void)registered;
  return new Brevant(info);
}
