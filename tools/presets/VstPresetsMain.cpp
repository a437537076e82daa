// Writes each factory preset of a VST3 plug-in (its program list) as a .vstpreset file holding the component state
// the plug-in has after the preset is chosen: <out>/<vendor>/<plug-in>/<preset>.vstpreset.
#include "HostPresets.h"
#include "HostedPlugin.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <filesystem>
#include <fstream>
#include <iostream>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant::host;

namespace
{

// A file name from a preset or vendor name: path separators and control characters would escape the folder.
std::string FileName(const std::string& name)
{
  std::string out;
  for (unsigned char c : name)
    out += (c < 0x20 || c == '/' || c == '\\' || c == 0x7F) ? '_' : static_cast<char>(c);
  if (out.empty() || out == "." || out == "..")
    out = "_" + out;
  return out;
}

int Usage()
{
  std::cerr << "usage: brevant-vstpresets BUNDLE -o DIR\n"
               "  writes DIR/<vendor>/<plug-in>/<preset>.vstpreset for every preset in the plug-in's program list\n";
  return 2;
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 4 || std::string(argv[2]) != "-o")
    return Usage();
  const std::string bundle = argv[1], outDir = argv[3];

  std::string error;
  auto module = HostModule::Load(bundle, error);
  auto plug = module ? HostedPlugin::Create(module, error) : nullptr;
  if (!plug)
  {
    std::cerr << "brevant-vstpresets: " << error << "\n";
    return 1;
  }
  const auto programs = ReadProgramList(*plug);
  if (!programs || programs->names.empty())
  {
    std::cerr << "brevant-vstpresets: " << bundle << " has no presets\n";
    return 1;
  }

  const ClassInfo& cls = plug->Class();
  // The class's vendor, else the factory's (a class may leave it to the factory).
  const std::string vendor = cls.vendor.empty() ? module->GetFactoryInfo().vendor : cls.vendor;
  const std::filesystem::path folder = std::filesystem::path(outDir) / FileName(vendor) / FileName(cls.name);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec)
  {
    std::cerr << "brevant-vstpresets: cannot create " << folder << ": " << ec.message() << "\n";
    return 1;
  }

  for (const std::string& name : programs->names)
  {
    std::vector<uint8_t> state;
    if (!SelectProgram(*plug, name, error) || !plug->GetState(state))
    {
      std::cerr << "brevant-vstpresets: " << (error.empty() ? plug->LastError() : error) << "\n";
      return 1;
    }
    IPtr<MemoryStream> component = owned(new MemoryStream(state.data(), static_cast<TSize>(state.size())));
    IPtr<MemoryStream> file = owned(new MemoryStream());
    if (!PresetFile::savePreset(file, FUID::fromTUID(cls.cid), component))
    {
      std::cerr << "brevant-vstpresets: cannot encode " << name << "\n";
      return 1;
    }
    const std::filesystem::path path = folder / (FileName(name) + ".vstpreset");
    std::ofstream out(path, std::ios::binary);
    out.write(file->getData(), static_cast<std::streamsize>(file->getSize()));
    if (!out)
    {
      std::cerr << "brevant-vstpresets: cannot write " << path << "\n";
      return 1;
    }
    std::cout << path.string() << "\n";
  }
  return 0;
}
