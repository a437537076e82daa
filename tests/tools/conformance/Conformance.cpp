#include "Conformance.h"

#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"

#include <cmath>
#include <cstdlib>

namespace conformance
{

std::shared_ptr<HostModule> Module()
{
  static std::shared_ptr<HostModule> module = []
  {
    // BREVANT_BUNDLE puts another copy through the same checks (the release package's, unpacked).
    const char* other = std::getenv("BREVANT_BUNDLE");
    std::string error;
    auto m = HostModule::Load(other && *other ? other : BREVANT_BUNDLE_DIR, error);
    EXPECT_TRUE(m) << error;
    return m;
  }();
  return module;
}

std::unique_ptr<HostedPlugin> OpenHosted()
{
  std::string error;
  auto plug = Module() ? HostedPlugin::Create(Module(), error) : nullptr;
  EXPECT_TRUE(plug) << error;
  return plug;
}

Instance::Instance(bool initialize) : module(Module()), handler(owned(new ComponentHandler))
{
  if (!module || module->Classes().empty())
    return;
  const auto& cls = module->Classes().front();
  if (module->Factory()->createInstance(cls.cid, IComponent::iid, reinterpret_cast<void**>(&component)) != kResultOk)
  {
    component = nullptr;
    return;
  }
  if (component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor)) != kResultOk)
    processor = nullptr;
  if (component->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller)) != kResultOk)
    controller = nullptr;
  if (initialize)
  {
    EXPECT_EQ(Initialize(), kResultOk);
  }
}

Instance::~Instance()
{
  Stop();
  if (controller)
  {
    controller->setComponentHandler(nullptr);
    controller->release();
  }
  if (processor)
    processor->release();
  if (component)
  {
    if (initialized)
      component->terminate();
    component->release();
  }
}

tresult Instance::Initialize()
{
  const tresult r = component->initialize(static_cast<FUnknown*>(&HostModule::Host()));
  if (r == kResultOk)
  {
    initialized = true;
    controller->setComponentHandler(handler);
    ActivateDefaultBuses();
  }
  return r;
}

tresult Instance::Terminate()
{
  const tresult r = component->terminate();
  initialized = false;
  return r;
}

void Instance::ActivateDefaultBuses()
{
  for (auto dir : {kInput, kOutput})
    for (int32 i = 0; i < component->getBusCount(kAudio, dir); i++)
    {
      BusInfo info{};
      if (component->getBusInfo(kAudio, dir, i, info) == kResultOk && (info.flags & BusInfo::kDefaultActive))
        component->activateBus(kAudio, dir, i, true);
    }
}

std::vector<int> Instance::Channels(BusDirection dir) const
{
  std::vector<int> channels;
  for (int32 i = 0; i < component->getBusCount(kAudio, dir); i++)
  {
    SpeakerArrangement arr = 0;
    processor->getBusArrangement(dir, i, arr);
    channels.push_back(SpeakerArr::getChannelCount(arr));
  }
  return channels;
}

tresult Instance::Setup(int32 sampleSize, int32 maxBlock, double sampleRate, int32 mode)
{
  ProcessSetup setup{mode, sampleSize, maxBlock, sampleRate};
  return processor->setupProcessing(setup);
}

bool Instance::Start()
{
  if (component->setActive(true) != kResultOk || processor->setProcessing(true) != kResultOk)
    return false;
  started = true;
  return true;
}

void Instance::Stop()
{
  if (!started)
    return;
  processor->setProcessing(false);
  component->setActive(false);
  started = false;
}

std::vector<uint8_t> Instance::State()
{
  MemoryStream stream;
  EXPECT_EQ(component->getState(&stream), kResultOk);
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.getData());
  return std::vector<uint8_t>(bytes, bytes + stream.getSize());
}

tresult Instance::Load(const std::vector<uint8_t>& bytes) { return component->setState(StreamOf(bytes)); }

double TestSignal(int channel, int64_t frame)
{
  const double t = static_cast<double>(frame);
  return 0.5 * std::sin(0.0131 * t * (channel + 1)) + 0.3 * std::sin(0.271 * t + channel);
}

template <typename T> void Block<T>::Signal(int64_t start)
{
  for (size_t b = 0; b < in.data.size(); b++)
    for (size_t c = 0; c < in.data[b].size(); c++)
      for (int i = 0; i < mMaxFrames; i++)
        in.data[b][c][static_cast<size_t>(i)] = static_cast<T>(TestSignal(static_cast<int>(b * 2 + c), start + i));
}

template <typename T> bool Block<T>::OutputFinite(int nFrames) const
{
  for (const auto& bus : out.data)
    for (const auto& ch : bus)
      for (int i = 0; i < nFrames; i++)
        if (!std::isfinite(ch[static_cast<size_t>(i)]))
          return false;
  return true;
}

template class Block<float>;
template class Block<double>;

IPtr<IBStream> StreamOf(const std::vector<uint8_t>& bytes)
{
  auto stream = owned(new MemoryStream);
  int32 written = 0;
  if (!bytes.empty())
    stream->write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
  stream->seek(0, IBStream::kIBSeekSet, nullptr);
  return IPtr<IBStream>(stream);
}

} // namespace conformance
