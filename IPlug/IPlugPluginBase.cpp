#include "IPlugPluginBase.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace iplug
{

namespace
{
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Preset files larger than this are not presets: refuse them rather than read them into memory.
constexpr long kMaxPresetFileSize = 64L * 1024 * 1024;

constexpr int kFxpHeaderSize = 60; // up to and including the chunk size field
constexpr int kFxpNameOffset = 28;
constexpr int kFxpNameSize = 28;
constexpr int kFxpValuesOffset = 56; // first value of an "FxCk" record
constexpr int kFxbHeaderSize = 160;  // up to and including the chunk size field
constexpr int kFxbFirstRecord = 156; // first record of an "FxBk" bank
constexpr int kFxbReservedSize = 124;

constexpr int32_t CharsToInt(const char (&c)[5])
{
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24 |
                              static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8 |
                              static_cast<uint32_t>(static_cast<uint8_t>(c[3])));
}

constexpr int32_t kCcnK = CharsToInt("CcnK");
constexpr int32_t kFPCh = CharsToInt("FPCh");
constexpr int32_t kFxCk = CharsToInt("FxCk");
constexpr int32_t kFBCh = CharsToInt("FBCh");
constexpr int32_t kFxBk = CharsToInt("FxBk");

void PutBigEndian(IByteChunk& out, int32_t value)
{
  const uint32_t v = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v)};
  out.PutBytes(bytes, 4);
}

void PutBigEndianFloat(IByteChunk& out, float value)
{
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutBigEndian(out, static_cast<int32_t>(bits));
}

// Reads from file bytes; every read is bounds-checked and fails with false.
class FileReader
{
public:
  FileReader(const uint8_t* data, int size) : mData(data), mSize(data ? std::max(size, 0) : 0) {}

  bool Has(int64_t pos, int64_t n) const { return pos >= 0 && n >= 0 && pos + n <= mSize; }

  bool Int(int pos, int32_t& value) const
  {
    if (!Has(pos, 4))
      return false;
    const uint8_t* b = mData + pos;
    value = static_cast<int32_t>(static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
                                 static_cast<uint32_t>(b[2]) << 8 | static_cast<uint32_t>(b[3]));
    return true;
  }

  bool Float(int pos, float& value) const
  {
    int32_t bits;
    if (!Int(pos, bits))
      return false;
    std::memcpy(&value, &bits, 4);
    return true;
  }

  bool Is(int pos, int32_t expected) const
  {
    int32_t value;
    return Int(pos, value) && value == expected;
  }

  /** The name field, cut at its first NUL and never longer than the field. */
  WDL_String Name(int pos) const
  {
    WDL_String name;
    if (Has(pos, kFxpNameSize))
    {
      const char* chars = reinterpret_cast<const char*>(mData + pos);
      char buf[kFxpNameSize + 1] = {};
      std::memcpy(buf, chars, strnlen(chars, kFxpNameSize));
      name.Set(buf);
    }
    return name;
  }

  const uint8_t* At(int pos) const { return mData + pos; }
  int Size() const { return mSize; }

private:
  const uint8_t* mData;
  int mSize;
};

bool ReadWholeFile(const char* file, std::vector<uint8_t>& bytes)
{
  if (!file || !*file)
    return false;
  std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(file, "rb"), &std::fclose);
  if (!fp)
    return false;
  if (std::fseek(fp.get(), 0, SEEK_END) != 0)
    return false;
  const long size = std::ftell(fp.get());
  if (size < 0 || size > kMaxPresetFileSize || std::fseek(fp.get(), 0, SEEK_SET) != 0)
    return false;
  bytes.resize(static_cast<size_t>(size));
  return size == 0 || std::fread(bytes.data(), 1, bytes.size(), fp.get()) == bytes.size();
}

bool WriteWholeFile(const char* file, const IByteChunk& chunk)
{
  if (!file || !*file)
    return false;
  std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(file, "wb"), &std::fclose);
  if (!fp)
    return false;
  const size_t size = static_cast<size_t>(chunk.Size());
  if (size && std::fwrite(chunk.GetData(), 1, size, fp.get()) != size)
    return false;
  return std::fflush(fp.get()) == 0;
}

bool AppendToFile(const char* file, const WDL_String& text)
{
  if (!file || !*file)
    return false;
  std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(file, "a"), &std::fclose);
  if (!fp)
    return false;
  return std::fputs(text.Get(), fp.get()) >= 0;
}

void Base64Encode(const uint8_t* data, int size, WDL_String& out)
{
  std::string text;
  text.reserve(static_cast<size_t>((size + 2) / 3 * 4));
  for (int i = 0; i < size; i += 3)
  {
    const int n = std::min(3, size - i);
    uint32_t v = static_cast<uint32_t>(data[i]) << 16;
    if (n > 1)
      v |= static_cast<uint32_t>(data[i + 1]) << 8;
    if (n > 2)
      v |= data[i + 2];
    text += kBase64Alphabet[(v >> 18) & 63];
    text += kBase64Alphabet[(v >> 12) & 63];
    text += n > 1 ? kBase64Alphabet[(v >> 6) & 63] : '=';
    text += n > 2 ? kBase64Alphabet[v & 63] : '=';
  }
  out.Append(text.c_str());
}

// Decodes into exactly size bytes, zero-filled past the end of the text.
std::vector<uint8_t> Base64Decode(const char* text, int size)
{
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0, 0);
  if (!text)
    return bytes;
  uint32_t acc = 0;
  int bits = 0;
  size_t produced = 0;
  for (const char* c = text; *c && produced < bytes.size(); ++c)
  {
    const char* found = std::strchr(kBase64Alphabet, *c);
    if (!found)
      break;
    acc = (acc << 6) | static_cast<uint32_t>(found - kBase64Alphabet);
    bits += 6;
    if (bits >= 8)
    {
      bits -= 8;
      bytes[produced++] = static_cast<uint8_t>(acc >> bits);
      acc &= (1u << bits) - 1;
    }
  }
  return bytes;
}

void VersionStr(int version, WDL_String& str)
{
  str.SetFormatted(kMaxVersionStrLen, "v%d.%d.%d", version >> 16, (version >> 8) & 0xff, version & 0xff);
}

int DecimalVersion(int version, bool decimal)
{
  if (!decimal)
    return version;
  return (version >> 16) * 10000 + ((version >> 8) & 0xff) * 100 + (version & 0xff);
}
} // namespace

// --- construction and identity -------------------------------------------------------------------

IPluginBase::IPluginBase(int nParams, int nPresets) : IGEditorDelegate(nParams)
{
  for (int i = 0; i < nPresets; ++i)
    mPresets.Add(new IPreset());
}

IPluginBase::~IPluginBase() { mPresets.Empty(true); }

int IPluginBase::GetPluginVersion(bool decimal) const { return DecimalVersion(mVersion, decimal); }

void IPluginBase::GetPluginVersionStr(WDL_String& str) const { VersionStr(mVersion, str); }

int IPluginBase::GetHostVersion(bool decimal) const { return DecimalVersion(mHostVersion, decimal); }

void IPluginBase::GetHostVersionStr(WDL_String& str) const { VersionStr(mHostVersion, str); }

const char* IPluginBase::GetAPIStr() const
{
  switch (mAPI)
  {
  case kAPIVST2:
    return "VST2";
  case kAPIVST3:
    return "VST3";
  case kAPIAU:
    return "AU";
  case kAPIAUv3:
    return "AUv3";
  case kAPIAAX:
    return "AAX";
  case kAPIAPP:
    return "APP";
  case kAPIWAM:
    return "WAM";
  case kAPIWEB:
    return "WEB";
  case kAPICLAP:
    return "CLAP";
  default:
    return "";
  }
}

void IPluginBase::GetBuildInfoStr(WDL_String& str, const char* date, const char* time) const
{
  WDL_String version;
  GetPluginVersionStr(version);
  str.SetFormatted(kMaxBuildInfoStrLen, "%s %s (%s), built on %s at %.5s ", version.Get(), GetAPIStr(), GetArchStr(),
                   date ? date : "", time ? time : "");
}

void IPluginBase::SetHost(const char* name, int version)
{
  mHost = LookUpHost(name);
  mHostVersion = version;
}

// --- state ---------------------------------------------------------------------------------------

bool IPluginBase::SerializeParams(IByteChunk& chunk) const
{
  for (int i = 0; i < NParams(); ++i)
  {
    const double value = GetParam(i)->Value();
    const int before = chunk.Size();
    if (chunk.Put(&value) != before + static_cast<int>(sizeof(double)))
      return false; // the chunk could not grow
  }
  return true;
}

int IPluginBase::UnserializeParams(const IByteChunk& chunk, int startPos)
{
  int pos = startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i)
  {
    double value = 0.0;
    pos = chunk.Get(&value, pos);
    GetParam(i)->Set(value);
  }
  OnParamReset(kPresetRecall);
  return pos;
}

// --- presets -------------------------------------------------------------------------------------

IPreset* IPluginBase::FirstFreePreset() const
{
  for (int i = 0; i < NPresets(); ++i)
  {
    if (!mPresets.Get(i)->mInitialized)
      return mPresets.Get(i);
  }
  return nullptr;
}

void IPluginBase::SetPresetName(IPreset& preset, const char* name) const
{
  if (!name)
    name = "";
  const size_t len = strnlen(name, kMaxPresetNameLen - 1);
  std::memmove(preset.mName, name, len);
  preset.mName[len] = '\0';
}

const char* IPluginBase::GetPresetName(int idx) const
{
  const IPreset* preset = mPresets.Get(idx);
  return preset ? preset->mName : "";
}

void IPluginBase::MakeDefaultPreset(const char* name, int nPresets)
{
  for (int i = 0; i < nPresets; ++i)
  {
    IPreset* preset = FirstFreePreset();
    if (!preset)
      return;
    preset->mInitialized = true;
    SetPresetName(*preset, name ? name : "Empty");
    SerializeState(preset->mChunk);
  }
}

void IPluginBase::EnsureDefaultPreset() { MakeDefaultPreset("Empty", NPresets()); }

bool IPluginBase::MakePreset(const char* name, ...)
{
  IPreset* preset = FirstFreePreset();
  if (!preset)
    return false;
  preset->mInitialized = true;
  SetPresetName(*preset, name);

  va_list args;
  va_start(args, name);
  for (int i = 0; i < NParams(); ++i)
  {
    const IParam::EParamKind kind = GetParam(i)->Type();
    double value;
    if (kind == IParam::kTypeBool || kind == IParam::kTypeInt || kind == IParam::kTypeEnum)
      value = static_cast<double>(va_arg(args, int));
    else
      value = va_arg(args, double);
    preset->mChunk.Put(&value);
  }
  va_end(args);
  return true;
}

bool IPluginBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...)
{
  // Marks the parameters the caller did not name; they take their current values.
  constexpr double kUnnamed = 9.999e-8;

  IPreset* preset = FirstFreePreset();
  if (!preset)
    return false;
  preset->mInitialized = true;
  SetPresetName(*preset, name);

  std::vector<double> values(static_cast<size_t>(NParams()), kUnnamed);
  va_list args;
  va_start(args, nParamsNamed);
  for (int i = 0; i < nParamsNamed; ++i)
  {
    const int paramIdx = va_arg(args, int);
    const IParam* param = GetParam(paramIdx);
    if (!param)
      break;
    const IParam::EParamKind kind = param->Type();
    if (kind == IParam::kTypeBool || kind == IParam::kTypeInt || kind == IParam::kTypeEnum)
      values[static_cast<size_t>(paramIdx)] = static_cast<double>(va_arg(args, int));
    else
      values[static_cast<size_t>(paramIdx)] = va_arg(args, double);
  }
  va_end(args);

  for (int i = 0; i < NParams(); ++i)
  {
    double value = values[static_cast<size_t>(i)];
    if (value == kUnnamed)
      value = GetParam(i)->Value();
    preset->mChunk.Put(&value);
  }
  return true;
}

bool IPluginBase::MakePresetFromChunk(const char* name, const IByteChunk& chunk)
{
  IPreset* preset = FirstFreePreset();
  if (!preset)
    return false;
  preset->mInitialized = true;
  SetPresetName(*preset, name);
  preset->mChunk.PutChunk(&chunk);
  return true;
}

bool IPluginBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk)
{
  const std::vector<uint8_t> bytes = Base64Decode(blob, sizeOfChunk);
  IByteChunk chunk;
  chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
  return MakePresetFromChunk(name, chunk);
}

void IPluginBase::PruneUninitializedPresets()
{
  for (int i = 0; i < NPresets();)
  {
    if (!mPresets.Get(i)->mInitialized)
      mPresets.Delete(i, true);
    else
      ++i;
  }
}

bool IPluginBase::RestorePreset(int idx)
{
  IPreset* preset = mPresets.Get(idx);
  if (!preset)
    return false;

  bool ok;
  if (!preset->mInitialized)
  {
    // An empty slot captures the current state instead of changing it.
    int nUserPresets = 0;
    for (int i = 0; i < NPresets(); ++i)
    {
      if (std::strstr(mPresets.Get(i)->mName, "user preset"))
        ++nUserPresets;
    }
    preset->mInitialized = true;
    std::snprintf(preset->mName, sizeof(preset->mName), "%s %d", "user preset", nUserPresets + 1);
    preset->mChunk.Clear(); // a slot cleared by a bank may still hold older bytes
    ok = SerializeState(preset->mChunk);
  }
  else
  {
    ok = UnserializeState(preset->mChunk, 0) > 0;
  }

  if (ok)
  {
    mCurrentPresetIdx = idx;
    OnPresetsModified();
    OnRestoreState();
  }
  return ok;
}

bool IPluginBase::RestorePreset(const char* name)
{
  if (!name || !*name)
    return false;
  for (int i = 0; i < NPresets(); ++i)
  {
    if (std::strcmp(mPresets.Get(i)->mName, name) == 0)
      return RestorePreset(i);
  }
  return false;
}

void IPluginBase::ModifyCurrentPreset(const char* name)
{
  IPreset* preset = mPresets.Get(mCurrentPresetIdx);
  if (!preset)
    return;
  preset->mChunk.Clear();
  SerializeState(preset->mChunk);
  if (name && *name)
    SetPresetName(*preset, name);
}

bool IPluginBase::SerializePresets(IByteChunk& chunk) const
{
  for (int i = 0; i < NPresets(); ++i)
  {
    const IPreset* preset = mPresets.Get(i);
    chunk.PutStr(preset->mName);
    const uint8_t initialized = preset->mInitialized ? 1 : 0;
    chunk.Put(&initialized);
    if (preset->mInitialized)
      chunk.PutChunk(&preset->mChunk);
  }
  return NPresets() == 0 || chunk.Size() > 0;
}

int IPluginBase::UnserializePresets(const IByteChunk& chunk, int startPos)
{
  WDL_String name;
  int pos = startPos;
  for (int i = 0; i < NPresets() && pos >= 0; ++i)
  {
    IPreset* preset = mPresets.Get(i);
    pos = chunk.GetStr(name, pos);
    SetPresetName(*preset, name.Get());

    uint8_t initialized = 0;
    pos = chunk.Get(&initialized, pos);
    if (pos >= 0)
      preset->mInitialized = initialized != 0;

    if (preset->mInitialized)
    {
      pos = UnserializeState(chunk, pos);
      if (pos > 0)
      {
        preset->mChunk.Clear();
        SerializeState(preset->mChunk);
      }
    }
  }
  RestorePreset(mCurrentPresetIdx);
  return pos;
}

// --- source dumps --------------------------------------------------------------------------------

void IPluginBase::AppendValueSrc(WDL_String& text, int paramIdx) const
{
  const IParam* param = GetParam(paramIdx);
  switch (param->Type())
  {
  case IParam::kTypeBool:
    text.Append(param->Value() >= 0.5 ? "true" : "false");
    break;
  case IParam::kTypeInt:
  case IParam::kTypeEnum:
    text.AppendFormatted(0, "%d", param->IntValue());
    break;
  default:
    text.AppendFormatted(0, "%.6f", param->Value());
    break;
  }
}

void IPluginBase::DumpMakePresetSrc(const char* file) const
{
  WDL_String text;
  text.SetFormatted(0, "MakePreset(\"%s\"", GetPresetName(mCurrentPresetIdx));
  for (int i = 0; i < NParams(); ++i)
  {
    text.Append(", ");
    AppendValueSrc(text, i);
  }
  text.Append(");\n");
  AppendToFile(file, text);
}

void IPluginBase::DumpMakePresetFromNamedParamsSrc(const char* file, const char** paramEnumNames) const
{
  WDL_String text;
  text.SetFormatted(0, "  MakePresetFromNamedParams(\"%s\", %d", GetPresetName(mCurrentPresetIdx), NParams());
  for (int i = 0; i < NParams(); ++i)
  {
    const char* enumName = (paramEnumNames && paramEnumNames[i]) ? paramEnumNames[i] : "";
    text.AppendFormatted(0, ",\n    %s, ", enumName);
    AppendValueSrc(text, i);
  }
  text.Append(");\n");
  AppendToFile(file, text);
}

void IPluginBase::DumpPresetBlob(const char* file) const
{
  const IPreset* preset = mPresets.Get(mCurrentPresetIdx);
  if (!preset)
    return;
  WDL_String text;
  text.SetFormatted(0, "MakePresetFromBlob(\"%s\", \"", preset->mName);
  Base64Encode(preset->mChunk.GetData(), preset->mChunk.Size(), text);
  text.AppendFormatted(0, "\", %i);\n", preset->mChunk.Size());
  AppendToFile(file, text);
}

// --- preset files --------------------------------------------------------------------------------

void IPluginBase::PutFxCkRecord(IByteChunk& out, const char* name, const IByteChunk* values) const
{
  PutBigEndian(out, kCcnK);
  PutBigEndian(out, 0);
  PutBigEndian(out, kFxCk);
  PutBigEndian(out, 1);
  PutBigEndian(out, mUniqueID);
  PutBigEndian(out, GetPluginVersion(true));
  PutBigEndian(out, NParams());
  char nameField[kFxpNameSize] = {};
  // At most 27 characters, so the field always ends in a NUL.
  std::memcpy(nameField, name, strnlen(name, kFxpNameSize - 1));
  out.PutBytes(nameField, kFxpNameSize);

  int pos = 0;
  for (int i = 0; i < NParams(); ++i)
  {
    const IParam* param = GetParam(i);
    double normalized;
    if (values)
    {
      double value = 0.0;
      pos = values->Get(&value, pos);
      normalized = param->ToNormalized(value);
    }
    else
    {
      normalized = param->GetNormalized();
    }
    PutBigEndianFloat(out, static_cast<float>(std::clamp(normalized, 0.0, 1.0)));
  }
}

void IPluginBase::MakePresetFXP(IByteChunk& out) const
{
  const char* name = GetPresetName(mCurrentPresetIdx);
  if (!mStateChunks)
  {
    PutFxCkRecord(out, name, nullptr);
    return;
  }

  IByteChunk state;
  IByteChunk::PutVersionHeader(state);
  SerializeState(state);

  PutBigEndian(out, kCcnK);
  PutBigEndian(out, state.Size() + kFxpHeaderSize);
  PutBigEndian(out, kFPCh);
  PutBigEndian(out, 1);
  PutBigEndian(out, mUniqueID);
  PutBigEndian(out, GetPluginVersion(true));
  PutBigEndian(out, NParams());
  char nameField[kFxpNameSize] = {};
  std::memcpy(nameField, name, strnlen(name, kFxpNameSize - 1));
  out.PutBytes(nameField, kFxpNameSize);
  PutBigEndian(out, state.Size());
  out.PutChunk(&state);
}

void IPluginBase::MakeBankFXB(IByteChunk& out) const
{
  IByteChunk presets;
  if (mStateChunks)
  {
    IByteChunk::PutVersionHeader(presets);
    SerializePresets(presets);
  }

  PutBigEndian(out, kCcnK);
  PutBigEndian(out, mStateChunks ? presets.Size() + kFxbHeaderSize : 0);
  PutBigEndian(out, mStateChunks ? kFBCh : kFxBk);
  PutBigEndian(out, 2);
  PutBigEndian(out, mUniqueID);
  PutBigEndian(out, GetPluginVersion(true));
  PutBigEndian(out, NPresets());
  PutBigEndian(out, mCurrentPresetIdx);
  const uint8_t reserved[kFxbReservedSize] = {};
  out.PutBytes(reserved, kFxbReservedSize);

  if (mStateChunks)
  {
    PutBigEndian(out, presets.Size());
    out.PutChunk(&presets);
  }
  else
  {
    for (int i = 0; i < NPresets(); ++i)
      PutFxCkRecord(out, mPresets.Get(i)->mName, &mPresets.Get(i)->mChunk);
  }
}

bool IPluginBase::SavePresetAsFXP(const char* file) const
{
  if (!file || !*file)
    return false;
  IByteChunk out;
  MakePresetFXP(out);
  return WriteWholeFile(file, out);
}

bool IPluginBase::SaveBankAsFXB(const char* file) const
{
  if (!file || !*file)
    return false;
  IByteChunk out;
  MakeBankFXB(out);
  return WriteWholeFile(file, out);
}

bool IPluginBase::LoadPresetFromFXP(const char* file)
{
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(file, bytes))
    return false;
  return LoadPresetFromFXP(bytes.data(), static_cast<int>(bytes.size()));
}

bool IPluginBase::LoadBankFromFXB(const char* file)
{
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(file, bytes))
    return false;
  return LoadBankFromFXB(bytes.data(), static_cast<int>(bytes.size()));
}

bool IPluginBase::LoadPresetFromFXP(const uint8_t* data, int size)
{
  const FileReader file(data, size);
  if (!file.Is(0, kCcnK) || !file.Is(12, 1) || !file.Is(16, mUniqueID))
    return false;

  if (file.Is(8, kFPCh) && mStateChunks)
  {
    // The state runs to the end of the file; the chunk size field is not needed to read it.
    IByteChunk chunk;
    if (file.Size() > kFxpHeaderSize)
      chunk.PutBytes(file.At(kFxpHeaderSize), file.Size() - kFxpHeaderSize);
    int pos = 0;
    IByteChunk::ReadVersionHeader(chunk, pos);

    // A state that does not read back completely is rejected and the previous state put back.
    IByteChunk previous;
    SerializeState(previous);
    if (UnserializeState(chunk, pos) < 0)
    {
      UnserializeState(previous, 0);
      return false;
    }
  }
  else if (file.Is(8, kFxCk))
  {
    if (!file.Has(kFxpValuesOffset, 4LL * NParams()))
      return false;
    for (int i = 0; i < NParams(); ++i)
    {
      float normalized = 0.f;
      file.Float(kFxpValuesOffset + 4 * i, normalized);
      GetParam(i)->SetNormalized(normalized);
    }
    OnParamReset(kPresetRecall);
  }
  else
  {
    return false;
  }

  ModifyCurrentPreset(file.Name(kFxpNameOffset).Get());
  RestorePreset(mCurrentPresetIdx);
  InformHostOfPresetChange();
  return true;
}

bool IPluginBase::LoadBankFromFXB(const uint8_t* data, int size)
{
  const FileReader file(data, size);
  if (!file.Is(0, kCcnK) || !file.Is(16, mUniqueID))
    return false;

  if (file.Is(8, kFBCh) && mStateChunks)
  {
    IByteChunk chunk;
    if (file.Size() > kFxbHeaderSize)
      chunk.PutBytes(file.At(kFxbHeaderSize), file.Size() - kFxbHeaderSize);
    int pos = 0;
    IByteChunk::ReadVersionHeader(chunk, pos);

    // A bank that does not read back completely is rejected: presets and state are put back as they were.
    std::vector<IPreset> previousPresets;
    for (int i = 0; i < NPresets(); ++i)
      previousPresets.push_back(*mPresets.Get(i));
    const int previousIdx = mCurrentPresetIdx;
    IByteChunk previousState;
    SerializeState(previousState);

    if (UnserializePresets(chunk, pos) < 0)
    {
      for (int i = 0; i < NPresets(); ++i)
        *mPresets.Get(i) = previousPresets[static_cast<size_t>(i)];
      mCurrentPresetIdx = previousIdx;
      UnserializeState(previousState, 0);
      return false;
    }
    InformHostOfPresetChange();
    return true;
  }

  if (file.Is(8, kFxBk))
  {
    int32_t nPresetsInFile = 0;
    int32_t currentIdx = 0;
    if (!file.Int(24, nPresetsInFile) || !file.Int(28, currentIdx) || nPresetsInFile < 0)
      return false;

    // Check every record before touching a preset.
    const int nRecords = std::min(nPresetsInFile, NPresets());
    const int64_t recordSize = kFxpValuesOffset + 4LL * NParams();
    for (int i = 0; i < nRecords; ++i)
    {
      const int64_t start = kFxbFirstRecord + i * recordSize;
      if (!file.Has(start, recordSize))
        return false;
      const int s = static_cast<int>(start);
      if (!file.Is(s, kCcnK) || !file.Is(s + 8, kFxCk) || !file.Is(s + 12, 1))
        return false;
    }

    for (int i = 0; i < nRecords; ++i)
    {
      const int start = static_cast<int>(kFxbFirstRecord + i * recordSize);
      IPreset* preset = mPresets.Get(i);
      preset->mInitialized = true;
      SetPresetName(*preset, file.Name(start + kFxpNameOffset).Get());
      // Through the parameters, so the preset holds the plug-in's own state format.
      for (int p = 0; p < NParams(); ++p)
      {
        float normalized = 0.f;
        file.Float(start + kFxpValuesOffset + 4 * p, normalized);
        GetParam(p)->SetNormalized(normalized);
      }
      preset->mChunk.Clear();
      SerializeState(preset->mChunk);
    }
    RestorePreset(currentIdx); // an index this plug-in does not have restores nothing
    InformHostOfPresetChange();
    return true;
  }

  return false;
}

// --- parameter ranges ----------------------------------------------------------------------------

void IPluginBase::InitParamRange(int startIdx, int endIdx, int countStart, const char* nameFmt, double defaultVal,
                                 double minVal, double maxVal, double step, const char* label, int flags,
                                 const char* group, const IParam::Shape& shape, IParam::EParamUnit unit,
                                 IParam::DisplayFunc displayFunc)
{
  const int lo = std::max(startIdx, 0);
  const int hi = std::min(endIdx, NParams() - 1);
  for (int i = lo; i <= hi; ++i)
  {
    IParam* param = GetParam(i);
    WDL_String name;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    name.SetFormatted(kMaxParamNameLen, nameFmt ? nameFmt : "", static_cast<int>(countStart + (int64_t{i} - startIdx)));
#pragma GCC diagnostic pop
    param->InitDouble(name.Get(), defaultVal, minVal, maxVal, step, label, flags, group, shape, unit, displayFunc);
  }
}

void IPluginBase::CloneParamRange(int cloneStartIdx, int cloneEndIdx, int startIdx, const char* searchStr,
                                  const char* replaceStr, const char* newGroup)
{
  ForParamPairs(cloneStartIdx, startIdx, int64_t{cloneEndIdx} - cloneStartIdx + 1,
                [&](IParam& src, IParam& dst)
                {
                  dst.Init(src, searchStr, replaceStr, newGroup);
                  dst.Set(src.Value());
                });
}

void IPluginBase::CopyParamValues(int startSrcIdx, int startDestIdx, int nParams)
{
  ForParamPairs(startSrcIdx, startDestIdx, nParams, [](IParam& src, IParam& dst) { dst.Set(src.Value()); });
}

void IPluginBase::ForParamPairs(int srcIdx, int dstIdx, int64_t count,
                                const std::function<void(IParam&, IParam&)>& func)
{
  // Only the pairs whose indices are both inside the table; the arithmetic cannot overflow.
  const int64_t first = std::max<int64_t>({0, -int64_t{srcIdx}, -int64_t{dstIdx}});
  const int64_t last = std::min<int64_t>({count, NParams() - int64_t{srcIdx}, NParams() - int64_t{dstIdx}});
  for (int64_t k = first; k < last; ++k)
    func(*GetParam(static_cast<int>(srcIdx + k)), *GetParam(static_cast<int>(dstIdx + k)));
}

void IPluginBase::CopyParamValues(const char* inGroup, const char* outGroup)
{
  std::vector<IParam*> in, out;
  for (int i = 0; i < NParams(); ++i)
  {
    IParam* param = GetParam(i);
    if (inGroup && std::strcmp(param->GetGroup(), inGroup) == 0)
      in.push_back(param);
    else if (outGroup && std::strcmp(param->GetGroup(), outGroup) == 0)
      out.push_back(param);
  }
  // Pairs beyond the smaller group have no partner.
  for (size_t j = 0; j < in.size() && j < out.size(); ++j)
    out[j]->Set(in[j]->Value());
}

void IPluginBase::ForParamInRange(int startIdx, int endIdx, const ParamFunc& func)
{
  const int lo = std::max(startIdx, 0);
  const int hi = std::min(endIdx, NParams() - 1);
  for (int i = lo; i <= hi; ++i)
    func(i, *GetParam(i));
}

void IPluginBase::ForParamInGroup(const char* group, const ParamFunc& func)
{
  if (!group)
    return;
  for (int i = 0; i < NParams(); ++i)
  {
    IParam* param = GetParam(i);
    if (std::strcmp(param->GetGroup(), group) == 0)
      func(i, *param);
  }
}

void IPluginBase::DefaultParamValues() { DefaultParamValues(0, NParams() - 1); }

void IPluginBase::DefaultParamValues(int startIdx, int endIdx)
{
  ForParamInRange(startIdx, endIdx, [](int, IParam& param) { param.SetToDefault(); });
}

void IPluginBase::DefaultParamValues(const char* group)
{
  ForParamInGroup(group, [](int, IParam& param) { param.SetToDefault(); });
}

namespace
{
double RandomNormalized()
{
  return std::rand() * (1.0 / 2147483648.0); // 2^-31
}
} // namespace

void IPluginBase::RandomiseParamValues() { RandomiseParamValues(0, NParams() - 1); }

void IPluginBase::RandomiseParamValues(int startIdx, int endIdx)
{
  ForParamInRange(startIdx, endIdx, [](int, IParam& param) { param.SetNormalized(RandomNormalized()); });
}

void IPluginBase::RandomiseParamValues(const char* group)
{
  ForParamInGroup(group, [](int, IParam& param) { param.SetNormalized(RandomNormalized()); });
}

void IPluginBase::PrintParamValues()
{
  ForParamInRange(0, NParams() - 1, [](int, IParam& param) { param.PrintDetails(); });
}

} // namespace iplug
