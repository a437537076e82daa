// brevant-lv2ttl: writes an LV2 bundle's descriptions from the plug-in's own tables.
//   brevant-lv2ttl BUNDLE_DIR BINARY_NAME

#include "IPlugLV2.h"
#include "IPlugLV2_Entry.h"
#include "LV2Description.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
  if (argc != 3)
  {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR BINARY_NAME\n", argv[0]);
    return 2;
  }
  std::unique_ptr<iplug::IPlugLV2> plug(iplug::MakeLV2Plug(iplug::InstanceInfo{}));
  if (!plug)
  {
    std::fprintf(stderr, "brevant-lv2ttl: the plug-in could not be made\n");
    return 1;
  }
  brevant::lv2::LV2Description description(*plug, argv[2], "Brevant.ttl");
  std::string error;
  if (!description.WriteBundle(argv[1], error))
  {
    std::fprintf(stderr, "brevant-lv2ttl: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
