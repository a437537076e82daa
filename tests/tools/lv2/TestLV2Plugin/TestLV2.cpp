// A gain for brevant-host's LV2 tests: out = (in * gain + side-chain) * (mode + 1) * trim, with the host's enabled
// port passing the input through. The trim exists only in the state (8 bytes: "TGST" and a float), so state that
// reaches the plug-in shows in its output. A side-chain the plug-in needed but did not get writes NaN.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace
{
constexpr const char* kStateKey = "https://quillmere.example/brevant#state";

struct TestGain
{
  bool mono = false;
  const float* gain = nullptr;
  const float* delay = nullptr;
  float* latency = nullptr;
  const float* enabled = nullptr;
  float* block = nullptr;
  const float* mode = nullptr;
  const float* in[2] = {};
  const float* sc[2] = {};
  float* out[2] = {};
  float trim = 1.f;
  float maxBlock = -1.f;
  LV2_URID stateKey = 0, chunk = 0;
};

LV2_Handle Instantiate(const LV2_Descriptor* d, double, const char*, const LV2_Feature* const* features)
{
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; i++)
  {
    if (!std::strcmp(features[i]->URI, LV2_URID__map))
      map = static_cast<const LV2_URID_Map*>(features[i]->data);
    else if (!std::strcmp(features[i]->URI, LV2_OPTIONS__options))
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
  }
  if (!map)
    return nullptr;
  auto* self = new (std::nothrow) TestGain();
  if (!self)
    return nullptr;
  self->mono = std::strstr(d->URI, "#mono") != nullptr;
  self->stateKey = map->map(map->handle, kStateKey);
  self->chunk = map->map(map->handle, LV2_ATOM__Chunk);
  const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
  for (int i = 0; options && options[i].key; i++)
    if (options[i].key == maxKey && options[i].type == atomInt)
      self->maxBlock = static_cast<float>(*static_cast<const int32_t*>(options[i].value));
  return self;
}

void Connect(LV2_Handle h, uint32_t port, void* data)
{
  auto* s = static_cast<TestGain*>(h);
  auto* f = static_cast<float*>(data);
  const uint32_t audio = port - 6;
  switch (port)
  {
  case 0:
    s->gain = f;
    return;
  case 1:
    s->delay = f;
    return;
  case 2:
    s->latency = f;
    return;
  case 3:
    s->enabled = f;
    return;
  case 4:
    s->block = f;
    return;
  case 5:
    s->mode = f;
    return;
  default:
    break;
  }
  if (s->mono)
  {
    if (audio == 0)
      s->in[0] = f;
    else if (audio == 1)
      s->sc[0] = f;
    else if (audio == 2)
      s->out[0] = f;
  }
  else if (audio < 2)
    s->in[audio] = f;
  else if (audio < 4)
    s->sc[audio - 2] = f;
  else if (audio < 6)
    s->out[audio - 4] = f;
}

void Run(LV2_Handle h, uint32_t n)
{
  auto* s = static_cast<TestGain*>(h);
  *s->latency = *s->delay > 0.f ? 32.f : 0.f;
  *s->block = s->maxBlock;
  const int channels = s->mono ? 1 : 2;
  const float gain = std::pow(10.f, *s->gain / 20.f);
  const float scale = (std::round(*s->mode) + 1.f) * s->trim;
  for (int c = 0; c < channels; c++)
    for (uint32_t i = 0; i < n; i++)
    {
      if (*s->enabled <= 0.f)
        s->out[c][i] = s->in[c][i];
      else if (s->mono && !s->sc[c])
        s->out[c][i] = std::numeric_limits<float>::quiet_NaN();
      else
        s->out[c][i] = (s->in[c][i] * gain + (s->sc[c] ? s->sc[c][i] : 0.f)) * scale;
    }
}

LV2_State_Status Save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*)
{
  auto* s = static_cast<TestGain*>(h);
  char bytes[8] = {'T', 'G', 'S', 'T'};
  std::memcpy(bytes + 4, &s->trim, 4);
  return store(handle, s->stateKey, bytes, sizeof(bytes), s->chunk, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                         const LV2_Feature* const*)
{
  auto* s = static_cast<TestGain*>(h);
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const auto* bytes = static_cast<const char*>(retrieve(handle, s->stateKey, &size, &type, &flags));
  if (!bytes)
    return LV2_STATE_ERR_NO_PROPERTY;
  if (type != s->chunk || size != 8 || std::memcmp(bytes, "TGST", 4) != 0)
    return LV2_STATE_ERR_BAD_TYPE;
  std::memcpy(&s->trim, bytes + 4, 4);
  return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri)
{
  static const LV2_State_Interface state = {Save, Restore};
  return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

void Cleanup(LV2_Handle h) { delete static_cast<TestGain*>(h); }

const LV2_Descriptor kDescriptors[] = {
    {"urn:brevant-test:gain", Instantiate, Connect, nullptr, Run, nullptr, Cleanup, ExtensionData},
    {"urn:brevant-test:gain#mono", Instantiate, Connect, nullptr, Run, nullptr, Cleanup, ExtensionData}};
} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
  return index < 2 ? &kDescriptors[index] : nullptr;
}
