#include "HostCommands.h"

#include "AudioFile.h"
#include "ClapEditor.h"
#include "HostEditor.h"
#include "HostPresets.h"
#include "HostedClap.h"
#include "HostedEffect.h"
#include "HostedLV2.h"
#include "LV2Editor.h"
#include "HostedPlugin.h"

#include "IPlugViewHeadless.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iterator>
#include <optional>
#include <sstream>

#include <sys/resource.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace brevant::host
{

namespace
{

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxBlock = 1 << 20;

struct UsageError
{
  std::string message;
};

struct ScreenshotOptions
{
  std::string bundle, output, render, className, preset;
  std::vector<std::pair<std::string, double>> sets;
  float scale = 1.f;
};

struct RenderOptions
{
  std::string bundle, input, output, sidechain, loadState, saveState, className, preset;
  std::vector<std::pair<std::string, double>> sets;
  int block = 512;
  int precision = 32;
};

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string Hex(uint64 v)
{
  std::ostringstream os;
  os << "0x" << std::hex << std::uppercase << v;
  return os.str();
}

std::string ArrangementName(SpeakerArrangement arr)
{
  std::string name = SpeakerArr::getSpeakerArrangementString(arr, false);
  return name.empty() ? Hex(arr) : name;
}

std::string ParamFlags(int32 flags)
{
  static const std::pair<int32, const char*> kNames[] = {
      {ParameterInfo::kCanAutomate, "automatable"},  {ParameterInfo::kIsReadOnly, "read-only"},
      {ParameterInfo::kIsWrapAround, "wrap-around"}, {ParameterInfo::kIsList, "list"},
      {ParameterInfo::kIsHidden, "hidden"},          {ParameterInfo::kIsProgramChange, "program-change"},
      {ParameterInfo::kIsBypass, "bypass"}};
  std::string out;
  for (const auto& [bit, name] : kNames)
  {
    if (flags & bit)
      out += (out.empty() ? "" : ",") + std::string(name);
  }
  return out.empty() ? "none" : out;
}

bool ParseNumber(const std::string& text, double& value)
{
  if (text.empty())
    return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == 0 && std::isfinite(value);
}

bool ParseInt(const std::string& text, int& value)
{
  if (text.empty())
    return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || !end || *end != 0 || v < INT32_MIN || v > INT32_MAX)
    return false;
  value = static_cast<int>(v);
  return true;
}

bool ReadBytes(const std::string& path, std::vector<std::uint8_t>& data, std::string& error)
{
  std::ifstream file(path, std::ios::binary);
  if (!file)
  {
    error = "cannot read state file " + path;
    return false;
  }
  data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad())
  {
    error = "cannot read state file " + path;
    return false;
  }
  return true;
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& data, std::string& error)
{
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file)
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!file || !file.flush())
  {
    error = "cannot write state file " + path;
    return false;
  }
  return true;
}

//--- info --------------------------------------------------------------------------------------------

void DescribeBuses(HostedPlugin& plug, std::ostream& out)
{
  static const char* kDir[] = {"input", "output"};
  for (MediaType type : {kAudio, kEvent})
  {
    for (BusDirection dir : {kInput, kOutput})
    {
      const auto buses = plug.Buses(type, dir);
      out << "  " << (type == kAudio ? "audio " : "event ") << kDir[dir] << "s: " << buses.size() << "\n";
      for (size_t i = 0; i < buses.size(); ++i)
      {
        const auto& b = buses[i];
        out << "    [" << i << "] " << Quote(b.name) << " " << b.channels << " ch";
        if (type == kAudio)
          out << " (" << ArrangementName(b.arrangement) << ")";
        out << ", " << (b.isMain ? "main" : "aux") << (b.defaultActive ? ", default active" : "") << "\n";
      }
    }
  }
}

void DescribeParams(HostedPlugin& plug, std::ostream& out)
{
  const auto params = plug.Params();
  out << "  parameters: " << params.size() << "\n";
  for (const auto& p : params)
  {
    const double plain = plug.NormalizedToPlain(p.id, p.defaultNormalized);
    const std::string text = plug.ParamValueText(p.id, p.defaultNormalized);
    out << "    id " << p.id << " " << Quote(p.title);
    if (!p.shortTitle.empty() && p.shortTitle != p.title)
      out << " short " << Quote(p.shortTitle);
    out << " units " << Quote(p.units) << " steps " << p.stepCount << " default " << p.defaultNormalized << " (plain "
        << plain;
    if (!text.empty())
      out << ", " << Quote(text);
    out << ") flags " << ParamFlags(p.flags) << "\n";
  }
}

int RunInfo(const std::string& bundle, const std::string& className, std::ostream& out, std::ostream& err)
{
  std::string error;
  if (HostedEffect::IsClapPath(bundle) || HostedEffect::IsLV2Path(bundle))
  {
    auto plug = HostedEffect::Open(bundle, className, error);
    if (!plug)
    {
      err << "brevant-host: " << error << "\n";
      return kExitFailure;
    }
    plug->Describe(out);
    return kExitOk;
  }
  auto module = HostModule::Load(bundle, error);
  if (!module)
  {
    err << "brevant-host: " << error << "\n";
    return kExitFailure;
  }
  const auto& fi = module->GetFactoryInfo();
  out << "module: " << module->LibraryPath() << "\n";
  out << "factory: vendor " << Quote(fi.vendor) << ", url " << Quote(fi.url) << ", email " << Quote(fi.email)
      << ", flags " << Hex(static_cast<uint32>(fi.flags)) << "\n";
  out << "classes: " << module->Classes().size() << "\n";
  for (const auto& c : module->Classes())
  {
    out << "  [" << c.index << "] " << Quote(c.name) << " category " << Quote(c.category) << " subcategories "
        << Quote(c.subCategories) << " vendor " << Quote(c.vendor) << " version " << Quote(c.version) << " sdk "
        << Quote(c.sdkVersion) << " id " << ClassIdString(c.cid) << " cardinality "
        << (c.cardinality == PClassInfo::kManyInstances ? std::string("many") : std::to_string(c.cardinality))
        << " flags " << Hex(c.classFlags) << "\n";
  }

  int status = kExitOk;
  std::vector<const ClassInfo*> effects;
  if (className.empty())
    effects = module->AudioEffects();
  else if (const ClassInfo* cls = ChooseVST3Effect(*module, className, error))
    effects.push_back(cls);
  else
  {
    err << "brevant-host: " << error << "\n";
    return kExitFailure;
  }
  for (const ClassInfo* cls : effects)
  {
    out << "effect " << Quote(cls->name) << ":\n";
    auto plug = HostedPlugin::Create(module, *cls, error);
    if (!plug)
    {
      err << "brevant-host: " << error << "\n";
      status = kExitFailure;
      continue;
    }
    out << "  controller: "
        << (plug->IsSingleComponent() ? "single component"
            : plug->Controller()      ? "separate"
                                      : "none")
        << "\n";
    DescribeBuses(*plug, out);
    DescribeParams(*plug, out);
    if (const auto programs = ReadProgramList(*plug))
    {
      out << "  presets: " << programs->names.size() << " (program list " << programs->listId
          << ", program-change parameter id " << programs->paramId << ")\n";
      for (size_t i = 0; i < programs->names.size(); i++)
        out << "    [" << i << "] " << Quote(programs->names[i]) << "\n";
    }
    else
      out << "  presets: none\n";
    out << "  latency: " << plug->LatencySamples() << " samples\n";
    out << "  tail: " << plug->TailSamples() << " samples\n";
  }
  return status;
}

//--- options -----------------------------------------------------------------------------------------

using OptionValue = std::function<const std::string&()>;

/** Walks the options after a command's bundle: take(option, value) handles one (value() reads its argument) and
    returns false for an option the command does not know. */
void ParseOptions(const std::vector<std::string>& args,
                  const std::function<bool(const std::string&, const OptionValue&)>& take)
{
  for (size_t i = 2; i < args.size(); ++i)
  {
    const std::string& a = args[i];
    const OptionValue value = [&]() -> const std::string&
    {
      if (i + 1 >= args.size())
        throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (!take(a, value))
      throw UsageError{"unknown option " + Quote(a)};
  }
}

/** "--set NAME=VALUE": a parameter's title (or #ID) and a plain value. */
std::pair<std::string, double> ParseSet(const std::string& v)
{
  const auto eq = v.rfind('=');
  double plain = 0;
  if (eq == std::string::npos || eq == 0 || !ParseNumber(v.substr(eq + 1), plain))
    throw UsageError{"--set takes NAME=VALUE with a plain number, not " + Quote(v)};
  return {v.substr(0, eq), plain};
}

/** The bundle's module and its effect class (by name, else the first); null with the reason in error. */
const ClassInfo* LoadEffectClass(const std::string& bundle, const std::string& className,
                                 std::shared_ptr<HostModule>& module, std::string& error)
{
  module = HostModule::Load(bundle, error);
  return module ? ChooseVST3Effect(*module, className, error) : nullptr;
}

/** Chooses the preset (when named), then sets each parameter (by title or #ID) to its plain value, saying so on
    out when given. */
bool ApplySets(HostedPlugin& plug, const std::vector<std::pair<std::string, double>>& sets, std::ostream* out,
               std::string& error, const std::string& preset = {})
{
  if (!preset.empty())
  {
    if (!SelectProgram(plug, preset, error))
      return false;
    if (out)
      *out << "preset " << Quote(preset) << "\n";
  }
  for (const auto& [name, plain] : sets)
  {
    const auto param = plug.FindParam(name);
    if (!param)
    {
      error = "unknown parameter " + Quote(name) + " (brevant-host info lists the parameters)";
      return false;
    }
    if (!plug.SetParamPlain(param->id, plain))
    {
      error = plug.LastError();
      return false;
    }
    if (out)
    {
      const double normalized = plug.GetParamNormalized(param->id);
      *out << "set " << Quote(param->title) << " = " << plain << " " << param->units << " (normalized " << normalized
           << ", shown as " << Quote(plug.ParamValueText(param->id, normalized)) << ")\n";
    }
  }
  return true;
}

/** The same for any format: the preset (when named) through the effect's own preset call, then each parameter. */
bool ApplyEffectSets(HostedEffect& plug, const std::vector<std::pair<std::string, double>>& sets, std::ostream* out,
                     std::string& error, const std::string& preset = {})
{
  if (!preset.empty())
  {
    if (!plug.SelectPreset(preset, error))
      return false;
    if (out)
      *out << "preset " << Quote(preset) << "\n";
  }
  for (const auto& [name, plain] : sets)
  {
    std::string shown;
    if (!plug.SetParam(name, plain, shown, error))
      return false;
    if (out)
      *out << "set " << shown << "\n";
  }
  return true;
}


//--- render ------------------------------------------------------------------------------------------

RenderOptions ParseRender(const std::vector<std::string>& args)
{
  RenderOptions o;
  if (args.size() < 2 || args[1].empty() || args[1][0] == '-')
    throw UsageError{"render needs a bundle"};
  o.bundle = args[1];
  ParseOptions(args,
               [&](const std::string& a, const OptionValue& value)
               {
                 if (a == "-i" || a == "--input")
                   o.input = value();
                 else if (a == "-o" || a == "--output")
                   o.output = value();
                 else if (a == "--sidechain")
                   o.sidechain = value();
                 else if (a == "--load-state")
                   o.loadState = value();
                 else if (a == "--save-state")
                   o.saveState = value();
                 else if (a == "--class")
                   o.className = value();
                 else if (a == "--block")
                 {
                   if (!ParseInt(value(), o.block) || o.block < 1 || o.block > kMaxBlock)
                     throw UsageError{"--block takes a number of samples from 1 to " + std::to_string(kMaxBlock)};
                 }
                 else if (a == "--precision")
                 {
                   const std::string& v = value();
                   if (v != "32" && v != "64")
                     throw UsageError{"--precision takes 32 or 64"};
                   o.precision = v == "64" ? 64 : 32;
                 }
                 else if (a == "--set")
                   o.sets.push_back(ParseSet(value()));
                 else if (a == "--preset")
                   o.preset = value();
                 else
                   return false;
                 return true;
               });
  if (o.input.empty() || o.output.empty())
    throw UsageError{"render needs -i INPUT and -o OUTPUT"};
  return o;
}

// Asks the plug-in for the file's channel counts, trying the layouts a host would try, most specific first.
template <typename T>
bool RenderBlocks(HostedEffect& plug, const AudioData& input, const AudioData& sidechain, AudioData& output, int block,
                  std::ostream& out, std::string& error)
{
  const int64_t frames = input.NumFrames();
  const size_t nIn = static_cast<size_t>(input.NumChannels());
  const size_t nSc = static_cast<size_t>(sidechain.NumChannels());
  const size_t nOut = static_cast<size_t>(output.NumChannels());
  std::vector<std::vector<T>> inBuf(nIn), scBuf(nSc), outBuf(nOut);
  std::vector<T*> inPtr(nIn), scPtr(nSc), outPtr(nOut);
  constexpr bool isDouble = sizeof(T) == sizeof(double);
  if constexpr (!isDouble)
  {
    for (auto* set : {&inBuf, &scBuf, &outBuf})
      for (auto& ch : *set)
        ch.resize(static_cast<size_t>(block));
  }

  int64_t pos = 0;
  do
  {
    const auto n = static_cast<int32>(std::min<int64_t>(block, frames - pos));
    auto fill = [&](const AudioData& src, std::vector<std::vector<T>>& buf, std::vector<T*>& ptr)
    {
      for (size_t c = 0; c < ptr.size(); ++c)
      {
        const double* from = src.channels[c].data() + pos;
        if constexpr (isDouble)
          ptr[c] = const_cast<double*>(from);
        else
        {
          std::transform(from, from + n, buf[c].begin(), [](double v) { return static_cast<float>(v); });
          ptr[c] = buf[c].data();
        }
      }
    };
    fill(input, inBuf, inPtr);
    fill(sidechain, scBuf, scPtr);
    for (size_t c = 0; c < nOut; ++c)
    {
      if constexpr (isDouble)
        outPtr[c] = output.channels[c].data() + pos;
      else
        outPtr[c] = outBuf[c].data();
    }
    if (!plug.Process(n, std::span<T* const>(inPtr), std::span<T* const>(outPtr), std::span<T* const>(scPtr), error))
    {
      error += " (at frame " + std::to_string(pos) + ")";
      return false;
    }
    if constexpr (!isDouble)
    {
      for (size_t c = 0; c < nOut; ++c)
        std::copy(outBuf[c].begin(), outBuf[c].begin() + n, output.channels[c].begin() + pos);
    }
    pos += n;
    // The plug-in's main-thread work (its timers) follows the rendered audio time.
    plug.Idle(n * 1000.0 / input.sampleRate);
    uint32_t latency = 0;
    if (plug.TakeLatencyChange(latency))
      out << "latency changed: " << latency << " samples (after frame " << pos << ")\n";
  } while (pos < frames);
  return true;
}

int RunRender(const RenderOptions& o, std::ostream& out, std::ostream& err)
{
  auto fail = [&](const std::string& message)
  {
    err << "brevant-host: " << message << "\n";
    return kExitFailure;
  };
  std::string error;
  auto plug = HostedEffect::Open(o.bundle, o.className, error);
  if (!plug)
    return fail(error);

  AudioData input, sidechain;
  if (!ReadAudioFile(o.input, input, error))
    return fail(error);
  if (!o.sidechain.empty())
  {
    if (!ReadAudioFile(o.sidechain, sidechain, error))
      return fail(error);
    if (sidechain.sampleRate != input.sampleRate)
      return fail("the side-chain runs at " + std::to_string(sidechain.sampleRate) + " Hz, the input at " +
                  std::to_string(input.sampleRate) + " Hz");
    // The side-chain follows the input's length: cut, or padded with silence.
    for (auto& ch : sidechain.channels)
      ch.resize(static_cast<size_t>(input.NumFrames()), 0.0);
  }

  out << "plug-in: " << Quote(plug->Name()) << " from " << plug->LibraryPath() << "\n";
  out << "input: " << o.input << ", " << input.NumChannels() << " ch, " << input.sampleRate << " Hz, "
      << input.NumFrames() << " frames\n";

  if (!o.loadState.empty())
  {
    std::vector<std::uint8_t> state;
    if (!ReadBytes(o.loadState, state, error))
      return fail(error);
    if (!plug->SetState(state, error))
      return fail(error + " in " + o.loadState);
    out << "state loaded: " << o.loadState << " (" << state.size() << " bytes)\n";
  }
  if (!ApplyEffectSets(*plug, o.sets, &out, error, o.preset))
    return fail(error);

  const std::string shownName = plug->Name();
  if (!plug->Prepare(input.sampleRate, o.block, input.NumChannels(), sidechain.NumChannels(), o.precision == 64, error))
    return fail(error);
  // An LV2 bundle's variants: Prepare chose the one for the file's channels.
  if (plug->Name() != shownName)
    out << "plug-in: " << Quote(plug->Name()) << " for " << input.NumChannels() << "-channel input\n";
  const int outChannels = plug->OutputChannels();
  out << "latency: " << plug->LatencySamples() << " samples (not compensated)\n";

  AudioData output;
  output.sampleRate = input.sampleRate;
  output.channels.assign(static_cast<size_t>(outChannels), std::vector<double>(static_cast<size_t>(input.NumFrames())));
  const bool rendered = o.precision == 64 ? RenderBlocks<double>(*plug, input, sidechain, output, o.block, out, error)
                                          : RenderBlocks<float>(*plug, input, sidechain, output, o.block, out, error);
  plug->Stop();
  if (!rendered)
    return fail(error);

  if (!o.saveState.empty())
  {
    std::vector<std::uint8_t> state;
    if (!plug->GetState(state, error))
      return fail(error);
    if (!WriteBytes(o.saveState, state, error))
      return fail(error);
    out << "state saved: " << o.saveState << " (" << state.size() << " bytes)\n";
  }
  if (!WriteAudioFile(o.output, output, o.precision == 64, error))
    return fail(error);
  out << "output: " << o.output << ", " << output.NumChannels() << " ch, " << output.NumFrames() << " frames, "
      << o.precision << "-bit processing\n";
  return kExitOk;
}

//--- screenshot --------------------------------------------------------------------------------------

ScreenshotOptions ParseScreenshot(const std::vector<std::string>& args)
{
  ScreenshotOptions o;
  if (args.size() < 2 || args[1].empty() || args[1][0] == '-')
    throw UsageError{"screenshot needs a bundle"};
  o.bundle = args[1];
  ParseOptions(args,
               [&](const std::string& a, const OptionValue& value)
               {
                 if (a == "-o" || a == "--output")
                   o.output = value();
                 else if (a == "--render")
                   o.render = value();
                 else if (a == "--class")
                   o.className = value();
                 else if (a == "--scale")
                 {
                   double scale = 0;
                   if (!ParseNumber(value(), scale) || scale < 1.0 || scale > 4.0)
                     throw UsageError{"--scale takes a screen scale from 1 to 4"};
                   o.scale = static_cast<float>(scale);
                 }
                 else if (a == "--set")
                   o.sets.push_back(ParseSet(value()));
                 else if (a == "--preset")
                   o.preset = value();
                 else
                   return false;
                 return true;
               });
  if (o.output.empty())
    throw UsageError{"screenshot needs -o FILE.png"};
  return o;
}

// Processes a file through the plug-in (32-bit, blocks of 512) and drops the result: what the editor's meters then
// show is what the file did.
bool RenderForMeters(HostedEffect& plug, const std::string& file, std::ostream& out, std::string& error)
{
  AudioData input, sidechain;
  if (!ReadAudioFile(file, input, error) || !plug.Prepare(input.sampleRate, 512, input.NumChannels(), 0, false, error))
    return false;
  AudioData output;
  output.sampleRate = input.sampleRate;
  output.channels.assign(static_cast<size_t>(plug.OutputChannels()),
                         std::vector<double>(static_cast<size_t>(input.NumFrames())));
  std::ostringstream log;
  const bool rendered = RenderBlocks<float>(plug, input, sidechain, output, 512, log, error);
  plug.Stop();
  if (rendered)
    out << "rendered: " << file << ", " << input.NumFrames() << " frames\n";
  return rendered;
}

// The CLAP plug-in's editor, drawn through the framework's headless-editor extension.
int RunClapScreenshot(const ScreenshotOptions& o, std::ostream& out, std::ostream& err)
{
  auto fail = [&](const std::string& message)
  {
    err << "brevant-host: " << message << "\n";
    return kExitFailure;
  };
  std::string error;
  auto plug = HostedClap::Create(o.bundle, o.className, error);
  if (!plug)
    return fail(error);
  if (!ApplyEffectSets(*plug, o.sets, nullptr, error))
    return fail(error);
  if (!plug->OpenHeadlessEditor(o.scale, error))
    return fail(error);
  // Audio first, with the editor open, so that its meters show what the file did.
  if (!o.render.empty() && !RenderForMeters(*plug, o.render, out, error))
    return fail(error);
  uint32_t width = 0, height = 0;
  if (!plug->WriteEditorPNG(o.output, width, height))
    return fail("could not write " + o.output);
  out << "editor: " << width << " x " << height << " at scale " << o.scale << " -> " << o.output << "\n";
  return kExitOk;
}

// An LV2 editor is a UI of its own (ui:X11UI) that learns every value from the host: after the render, the control
// ports (the meters the plug-in wrote among them) go to it through port_event, then it draws without a window.
int RunLV2Screenshot(const ScreenshotOptions& o, std::ostream& out, std::ostream& err)
{
  auto fail = [&](const std::string& message)
  {
    err << "brevant-host: " << message << "\n";
    return kExitFailure;
  };
  std::string error;
  auto plug = HostedLV2::Create(o.bundle, o.className, error);
  if (!plug)
    return fail(error);
  if (!ApplyEffectSets(*plug, o.sets, nullptr, error, o.preset))
    return fail(error);
  if (!o.render.empty() && !RenderForMeters(*plug, o.render, out, error))
    return fail(error);
  LV2Editor editor(*plug);
  if (!editor.OpenHeadless(o.scale, error))
    return fail(error);
  uint32_t width = 0, height = 0;
  if (!editor.WriteHeadlessPNG(o.output, width, height))
    return fail("could not write " + o.output);
  out << "editor: " << width << " x " << height << " at scale " << o.scale << " -> " << o.output << "\n";
  return kExitOk;
}

int RunScreenshot(const ScreenshotOptions& o, std::ostream& out, std::ostream& err)
{
  if (HostedEffect::IsClapPath(o.bundle))
    return RunClapScreenshot(o, out, err);
  if (HostedEffect::IsLV2Path(o.bundle))
    return RunLV2Screenshot(o, out, err);
  auto fail = [&](const std::string& message)
  {
    err << "brevant-host: " << message << "\n";
    return kExitFailure;
  };
  std::string error;
  std::shared_ptr<HostModule> module;
  const ClassInfo* cls = LoadEffectClass(o.bundle, o.className, module, error);
  if (!cls)
    return fail(error);
  auto plug = HostedPlugin::Create(module, *cls, error);
  if (!plug)
    return fail(error);
  if (!ApplySets(*plug, o.sets, nullptr, error, o.preset))
    return fail(error);
  if (!plug->Controller())
    return fail("the plug-in has no edit controller, so no editor");

  IPlugView* view = plug->Controller()->createView(ViewType::kEditor);
  if (!view)
    return fail("the plug-in offers no editor view");
  iplug::IPlugViewHeadless* headless = nullptr;
  if (view->queryInterface(iplug::IPlugViewHeadless_iid, reinterpret_cast<void**>(&headless)) != kResultOk || !headless)
  {
    view->release();
    return fail("the plug-in's editor cannot be drawn without a window");
  }
  auto close = [&]()
  {
    view->removed();
    headless->release();
    view->release();
  };
  if (headless->attachHeadless(o.scale) != kResultTrue)
  {
    close();
    return fail("the editor could not be opened headless (no EGL display? Mesa's libegl-mesa0 draws without a GPU)");
  }

  // Audio first, with the editor open, so that its meters show what the file did.
  if (!o.render.empty())
  {
    AudioData input, sidechain;
    if (!ReadAudioFile(o.render, input, error) || !ArrangeVST3Buses(*plug, input.NumChannels(), 0, error))
    {
      close();
      return fail(error);
    }
    AudioData output;
    output.sampleRate = input.sampleRate;
    output.channels.assign(static_cast<size_t>(plug->BusChannels(kOutput, 0)),
                           std::vector<double>(static_cast<size_t>(input.NumFrames())));
    std::ostringstream log;
    const auto effect = HostedEffect::Borrow(*plug, cls->name);
    const bool rendered = plug->Setup(input.sampleRate, 512, kSample32, kRealtime) && plug->Start() &&
                          RenderBlocks<float>(*effect, input, sidechain, output, 512, log, error);
    plug->Stop();
    if (!rendered)
    {
      close();
      return fail(error.empty() ? plug->LastError() : error);
    }
    out << "rendered: " << o.render << ", " << input.NumFrames() << " frames\n";
  }

  headless->drawFrame();
  const bool written = headless->writeFramePNG(o.output.c_str()) == kResultTrue;
  ViewRect size;
  view->getSize(&size);
  close();
  if (!written)
    return fail("could not write " + o.output);
  out << "editor: " << size.getWidth() << " x " << size.getHeight() << " at scale " << o.scale << " -> " << o.output
      << "\n";
  return kExitOk;
}

struct EditorOptions
{
  std::string bundle, screenshot, className;
  std::vector<std::pair<std::string, double>> sets;
  double scale = 0.0;
  double seconds = -1.0; // until the window is closed
  bool audio = false;
};

EditorOptions ParseEditor(const std::vector<std::string>& args)
{
  EditorOptions o;
  if (args.size() < 2 || args[1].empty() || args[1][0] == '-')
    throw UsageError{"editor needs a bundle"};
  o.bundle = args[1];
  ParseOptions(args,
               [&](const std::string& a, const OptionValue& value)
               {
                 if (a == "--scale")
                 {
                   if (!ParseNumber(value(), o.scale) || !(o.scale >= 0.5 && o.scale <= 4.0))
                     throw UsageError{"--scale takes a factor from 0.5 to 4"};
                 }
                 else if (a == "--seconds")
                 {
                   if (!ParseNumber(value(), o.seconds) || !(o.seconds >= 0.0 && o.seconds <= 86400.0))
                     throw UsageError{"--seconds takes a number of seconds"};
                 }
                 else if (a == "--screenshot")
                   o.screenshot = value();
                 else if (a == "--audio")
                   o.audio = true;
                 else if (a == "--class")
                   o.className = value();
                 else if (a == "--set")
                   o.sets.push_back(ParseSet(value()));
                 else
                   return false;
                 return true;
               });
  return o;
}

// Prints what reached the component handler since the last call: edits with their values, restarts.
class EditPrinter
{
public:
  EditPrinter(HostedPlugin& plug, std::ostream& out) : mPlug(plug), mOut(out) {}

  void Print()
  {
    const auto edits = mPlug.Handler().Edits();
    for (; mEdits < edits.size(); ++mEdits)
    {
      const auto& e = edits[mEdits];
      const auto desc = mPlug.FindParam("#" + std::to_string(e.id));
      const std::string name = Quote(desc ? desc->title : "#" + std::to_string(e.id));
      switch (e.kind)
      {
      case ComponentHandler::EEdit::kBegin:
        mOut << "edit begin " << name << "\n";
        break;
      case ComponentHandler::EEdit::kPerform:
        mOut << "edit perform " << name << " " << std::fixed << std::setprecision(6) << e.value << std::defaultfloat
             << " (" << mPlug.ParamValueText(e.id, e.value) << ")\n";
        break;
      case ComponentHandler::EEdit::kEnd:
        mOut << "edit end " << name << "\n";
        break;
      }
    }
    uint32 latency = 0;
    if (mPlug.TakeLatencyChange(latency))
      mOut << "latency: " << latency << " samples\n";
    mOut.flush();
  }

private:
  HostedPlugin& mPlug;
  std::ostream& mOut;
  size_t mEdits = 0;
};

// A quiet stereo tone (220 Hz) processed in real time while an editor runs, so meters move and latency changes
// arrive: Pump processes every block due by now through process(in, out), which returns false to stop.
class RealtimeTone
{
public:
  static constexpr double kRate = 48000.0;
  static constexpr int kBlock = 256;

  template <class Process> bool Pump(Process&& process)
  {
    const double due = std::chrono::duration<double>(std::chrono::steady_clock::now() - mStart).count() * kRate;
    while (static_cast<double>(mProcessed) + kBlock <= due)
    {
      for (int i = 0; i < kBlock; ++i, mPhase += 2.0 * M_PI * 220.0 / kRate)
        mIn[0][static_cast<size_t>(i)] = mIn[1][static_cast<size_t>(i)] = static_cast<float>(0.25 * std::sin(mPhase));
      if (!process(mInPtrs, mOutPtrs))
        return false;
      mProcessed += kBlock;
    }
    return true;
  }

private:
  std::vector<std::vector<float>> mIn = std::vector<std::vector<float>>(2, std::vector<float>(kBlock));
  std::vector<std::vector<float>> mOut = mIn;
  std::vector<float*> mInPtrs{mIn[0].data(), mIn[1].data()}, mOutPtrs{mOut[0].data(), mOut[1].data()};
  double mPhase = 0.0;
  int64_t mProcessed = 0;
  const std::chrono::steady_clock::time_point mStart = std::chrono::steady_clock::now();
};

// The CLAP plug-in's editor through its gui extension. Edits go to the plug-in's output events, which this host does
// not read, so unlike VST3 they are not printed.
// Runs an open editor window for the editor command: its first frames for the screenshot, then the time asked for
// (until the window is closed when none is given). Audio blocks are due every few milliseconds; otherwise the
// plug-in's timers and the window's events wake the loop.
template <class Editor>
bool RunEditorWindow(Editor& editor, const EditorOptions& o, const std::function<void()>& idle, std::ostream& out,
                     std::string& error)
{
  const double maxWait = o.audio ? 5.0 : 250.0;
  bool open = true;
  if (!o.screenshot.empty())
  {
    // The first frames: the frame tick is 60 Hz; half a second covers slow software renderers.
    open = editor.Run(500.0, idle, maxWait);
    if (!editor.WriteScreenshotPNG(o.screenshot))
    {
      error = "could not capture the window into " + o.screenshot;
      return false;
    }
    out << "screenshot: " << o.screenshot << "\n";
  }
  const double seconds = o.seconds >= 0.0 ? o.seconds : (o.screenshot.empty() ? 1e9 : 0.0);
  if (open && seconds > 0.0)
    editor.Run(seconds * 1000.0, idle, maxWait);
  idle();
  return true;
}

// A CLAP or LV2 editor in a window of ours: the CLAP gui on the plug-in's timers, the LV2 UI on idle calls (its
// edits come back through write_function into the control ports the next block reads, and are printed as they
// come). resizeLabel names the plug-in's resize request in the output.
template <class Plug, class Editor>
int RunFormatEditor(const EditorOptions& o, std::ostream& out, std::ostream& err, const char* resizeLabel)
{
  auto fail = [&](const std::string& message)
  {
    err << "brevant-host: " << message << "\n";
    return kExitFailure;
  };
  std::string error;
  auto plug = Plug::Create(o.bundle, o.className, error);
  if (!plug)
    return fail(error);
  out << "plug-in: " << Quote(plug->Name()) << " from " << plug->LibraryPath() << "\n";
  if (!ApplyEffectSets(*plug, o.sets, &out, error))
    return fail(error);

  if (o.audio && !plug->Prepare(RealtimeTone::kRate, RealtimeTone::kBlock, 2, 0, false, error))
    return fail(error);
  RealtimeTone tone;

  Editor editor(*plug);
  if (!editor.Open(error, o.scale, "brevant-host: " + plug->Name()))
    return fail(error);
  out << "editor: " << editor.Width() << "x" << editor.Height() << "\n";
  out.flush();

  size_t resizes = 0, edits = 0;
  bool failed = false;
  auto idle = [&]
  {
    if (o.audio && !failed)
      failed = !tone.Pump([&](std::vector<float*>& in, std::vector<float*>& outs)
                          { return plug->Process(RealtimeTone::kBlock, in, outs, {}, error); });
    uint32_t latency = 0;
    if (plug->TakeLatencyChange(latency))
      out << "latency: " << latency << " samples\n";
    if constexpr (requires { editor.Edits(); })
    {
      for (; edits < editor.Edits().size(); ++edits)
        out << editor.Edits()[edits] << "\n";
    }
    for (; resizes < editor.ResizeRequests().size(); ++resizes)
    {
      const auto& [w, h] = editor.ResizeRequests()[resizes];
      out << resizeLabel << ": " << w << "x" << h << " (window " << editor.Width() << "x" << editor.Height() << ")\n";
    }
    out.flush();
  };

  const bool shown = RunEditorWindow(editor, o, idle, out, error);
  editor.Close();
  if (!shown)
    return fail(error);
  if (o.audio)
    plug->Stop();
  if (failed)
    return fail(error);
  return kExitOk;
}

int RunEditor(const EditorOptions& o, std::ostream& out, std::ostream& err)
{
  if (HostedEffect::IsClapPath(o.bundle))
    return RunFormatEditor<HostedClap, ClapEditor>(o, out, err, "request_resize");
  if (HostedEffect::IsLV2Path(o.bundle))
    return RunFormatEditor<HostedLV2, LV2Editor>(o, out, err, "ui:resize");
  auto fail = [&](const std::string& message)
  {
    err << "brevant-host: " << message << "\n";
    return kExitFailure;
  };
  std::string error;
  std::shared_ptr<HostModule> module;
  const ClassInfo* cls = LoadEffectClass(o.bundle, o.className, module, error);
  if (!cls)
    return fail(error);
  auto plug = HostedPlugin::Create(module, *cls, error);
  if (!plug)
    return fail(error);
  out << "plug-in: " << Quote(cls->name) << " from " << module->LibraryPath() << "\n";
  if (!ApplySets(*plug, o.sets, &out, error))
    return fail(error);

  // Audio, when asked for: a quiet stereo tone processed in real time, so meters move and latency changes arrive.
  if (o.audio)
  {
    if (!ArrangeVST3Buses(*plug, 2, 0, error))
      return fail(error);
    if (!plug->Setup(RealtimeTone::kRate, RealtimeTone::kBlock, kSample32, kRealtime) || !plug->Start())
      return fail(plug->LastError());
  }
  RealtimeTone tone;

  HostEditor editor(*plug);
  if (!editor.Open(error, o.scale, "brevant-host: " + cls->name))
    return fail(error);
  out << "editor: " << editor.Width() << "x" << editor.Height() << ", attached in " << std::fixed
      << std::setprecision(1) << editor.AttachMs() << std::defaultfloat << " ms\n";
  out.flush();

  EditPrinter printer(*plug, out);
  size_t resizes = 0;
  auto idle = [&]
  {
    if (o.audio)
      tone.Pump([&](std::vector<float*>& in, std::vector<float*>& outs)
                {
                  plug->Process(RealtimeTone::kBlock, in, outs);
                  return true;
                });
    printer.Print();
    for (; resizes < editor.ResizeRequests().size(); ++resizes)
    {
      const auto& r = editor.ResizeRequests()[resizes];
      out << "resizeView: " << r.getWidth() << "x" << r.getHeight() << "\n";
    }
  };

  // Audio blocks are due every few milliseconds; otherwise the plug-in's timers and descriptors wake us.
  rusage before = {};
  getrusage(RUSAGE_SELF, &before);
  const auto runStart = std::chrono::steady_clock::now();
  if (!RunEditorWindow(editor, o, idle, out, error))
    return fail(error);
  rusage after = {};
  getrusage(RUSAGE_SELF, &after);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
  auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  const double cpuMs = ms(after.ru_utime) - ms(before.ru_utime) + ms(after.ru_stime) - ms(before.ru_stime);
  out << "cpu: " << std::fixed << std::setprecision(1) << cpuMs << " ms in " << wall << " s ("
      << (wall > 0.0 ? cpuMs / wall : 0.0) << " ms per second)" << std::defaultfloat << "\n";
  editor.Close();
  if (o.audio)
    plug->Stop();
  return kExitOk;
}

} // namespace

void PrintUsage(std::ostream& os)
{
  os << "brevant-host: loads a VST3, CLAP or LV2 plug-in to describe it or to run audio files through it\n"
        "\n"
        "usage:\n"
        "  brevant-host info BUNDLE [--class NAME]\n"
        "  brevant-host render BUNDLE -i INPUT -o OUTPUT [options]\n"
        "  brevant-host editor BUNDLE [--scale S] [--screenshot PNG] [--seconds N] [--audio] [--set NAME=VALUE ...]\n"
        "  brevant-host screenshot BUNDLE -o FILE.png [--scale S] [--preset NAME] [--set NAME=VALUE ...]\n"
        "                         [--render IN.wav]\n"
        "  brevant-host --help\n"
        "\n"
        "BUNDLE is a .vst3 bundle folder (or the module's .so itself), a .clap file, or an LV2 bundle folder\n"
        "(.lv2) or installed LV2 plug-in URI. LV2 processes 32-bit samples only.\n"
        "\n"
        "info lists the factory, its classes and, for each audio effect, its buses, parameters, presets and latency.\n"
        "For an LV2 bundle: each plug-in's URI, library, features, ports with ranges, defaults and properties.\n"
        "\n"
        "render processes INPUT block by block and writes exactly what the plug-in produced to OUTPUT (same\n"
        "length; latency is reported, not compensated). Audio files are read and written with libsndfile; the\n"
        "output format follows its extension (.wav, .flac, .aiff ...), as 32-bit float (64-bit with\n"
        "--precision 64) where the format allows.\n"
        "  -i, --input FILE     audio to process\n"
        "  -o, --output FILE    where to write the result\n"
        "  --sidechain FILE     audio for the side-chain bus (same sample rate; cut or padded to the input)\n"
        "  --preset NAME        choose a preset (as info lists them) through the program-change parameter, before\n"
        "                       any --set\n"
        "  --set NAME=VALUE     set a parameter, by title (or #ID), to a plain value before the first block\n"
        "                       (repeatable; a plug-in parameter wins over the host bypass of the same title)\n"
        "  --block N            samples per process call (default 512)\n"
        "  --precision 32|64    sample size (default 32)\n"
        "  --load-state FILE    restore a component state saved with --save-state before processing\n"
        "  --save-state FILE    save the component state after processing\n"
        "  --class NAME         the effect class to use when the module has several (default: the first; LV2:\n"
        "                       a plug-in URI, else the bundle's plug-in whose main input fits the file)\n"
        "\n"
        "screenshot opens the plug-in's editor without a window (through its view's headless interface, drawn\n"
        "with Mesa's software renderer where there is no GPU) and writes its first complete frame as PNG. An LV2\n"
        "editor is a UI of its own: it is given every control port's value (the meters after --render) first.\n"
        "  -o, --output FILE    the PNG to write (device pixels: the editor size times --scale)\n"
        "  --scale S            screen scale, 1 to 4 (default 1)\n"
        "  --preset NAME        as for render\n"
        "  --set NAME=VALUE     as for render\n"
        "  --render FILE        process this audio file first (editor open), so meters show what it did\n"
        "\n"
        "editor opens the plug-in's editor in a window (X11; needs DISPLAY), hosted as a Linux DAW hosts it, and\n"
        "prints the edits that reach the host (begin, perform with the value, end), latency changes and resize\n"
        "requests as they happen. It runs until the window is closed, or for --seconds. A .clap file is shown\n"
        "through its gui extension, on its timers; its edits are not printed. An LV2 bundle's X11 UI is embedded\n"
        "and driven by idle calls; its edits (ui:touch begin/end, perform PORT VALUE) come back through the host.\n"
        "  --scale S            content scale factor given to the view before it opens\n"
        "  --screenshot PNG     capture the window after its first frames (then exit unless --seconds is given)\n"
        "  --seconds N          run for N seconds, then close the editor\n"
        "  --audio              process a quiet tone in real time, so meters move and latency changes arrive\n"
        "  --set NAME=VALUE     set a parameter to a plain value before the editor opens (repeatable)\n"
        "\n"
        "exit status: 0 success, 1 failure, 2 usage error\n";
}

int RunHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
  try
  {
    if (args.empty())
      throw UsageError{"no command"};
    const std::string& cmd = args[0];
    if (cmd == "--help" || cmd == "-h" || cmd == "help")
    {
      PrintUsage(out);
      return kExitOk;
    }
    if (cmd == "info")
    {
      std::string className;
      if (args.size() == 4 && args[2] == "--class")
        className = args[3];
      else if (args.size() != 2)
        throw UsageError{"info takes a bundle and optionally --class NAME"};
      return RunInfo(args[1], className, out, err);
    }
    if (cmd == "render")
      return RunRender(ParseRender(args), out, err);
    if (cmd == "editor")
      return RunEditor(ParseEditor(args), out, err);
    if (cmd == "screenshot")
      return RunScreenshot(ParseScreenshot(args), out, err);
    throw UsageError{"unknown command " + Quote(cmd)};
  }
  catch (const UsageError& e)
  {
    err << "brevant-host: " << e.message << "\n(brevant-host --help shows the usage)\n";
    return kExitUsage;
  }
}

} // namespace brevant::host
