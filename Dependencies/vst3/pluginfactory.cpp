// Class factory for SDK subsets that lack it (see cmake/Dependencies.cmake).
#include "public.sdk/source/main/pluginfactory.h"

#include <cstring>

namespace Steinberg
{

CPluginFactory* gPluginFactory = nullptr;

namespace
{

// UTF-8 into UTF-16, at most size-1 units plus the terminator; malformed bytes become U+FFFD.
void Utf8ToUtf16(char16* dst, const char8* src, int32 size)
{
  int32 n = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(src ? src : "");
  while (*s && n < size - 1)
  {
    uint32 cp = 0xFFFD;
    int extra = 0;
    if (*s < 0x80)
      cp = *s;
    else if ((*s & 0xE0) == 0xC0)
      cp = *s & 0x1F, extra = 1;
    else if ((*s & 0xF0) == 0xE0)
      cp = *s & 0x0F, extra = 2;
    else if ((*s & 0xF8) == 0xF0)
      cp = *s & 0x07, extra = 3;
    ++s;
    for (int i = 0; i < extra; ++i, ++s)
    {
      if ((*s & 0xC0) != 0x80)
      {
        cp = 0xFFFD;
        break;
      }
      cp = (cp << 6) | (*s & 0x3F);
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      cp = 0xFFFD;
    if (cp >= 0x10000)
    {
      if (n + 2 > size - 1)
        break;
      cp -= 0x10000;
      dst[n++] = static_cast<char16>(0xD800 + (cp >> 10));
      dst[n++] = static_cast<char16>(0xDC00 + (cp & 0x3FF));
    }
    else
      dst[n++] = static_cast<char16>(cp);
  }
  dst[n] = 0;
}

// UTF-16 into UTF-8, never splitting a character at the size limit.
void Utf16ToUtf8(char8* dst, const char16* src, int32 size)
{
  int32 n = 0;
  for (const char16* s = src; s && *s; ++s)
  {
    uint32 cp = *s;
    if (cp >= 0xD800 && cp <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF)
    {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    }
    else if (cp >= 0xD800 && cp <= 0xDFFF)
      cp = 0xFFFD;
    char8 buf[4];
    int32 len;
    if (cp < 0x80)
      buf[0] = static_cast<char8>(cp), len = 1;
    else if (cp < 0x800)
      buf[0] = static_cast<char8>(0xC0 | (cp >> 6)), buf[1] = static_cast<char8>(0x80 | (cp & 0x3F)), len = 2;
    else if (cp < 0x10000)
      buf[0] = static_cast<char8>(0xE0 | (cp >> 12)), buf[1] = static_cast<char8>(0x80 | ((cp >> 6) & 0x3F)),
      buf[2] = static_cast<char8>(0x80 | (cp & 0x3F)), len = 3;
    else
      buf[0] = static_cast<char8>(0xF0 | (cp >> 18)), buf[1] = static_cast<char8>(0x80 | ((cp >> 12) & 0x3F)),
      buf[2] = static_cast<char8>(0x80 | ((cp >> 6) & 0x3F)), buf[3] = static_cast<char8>(0x80 | (cp & 0x3F)), len = 4;
    if (n + len > size - 1)
      break;
    memcpy(dst + n, buf, static_cast<size_t>(len));
    n += len;
  }
  dst[n] = 0;
}

void CopyString8(char8* dst, const char8* src, int32 size)
{
  strncpy8(dst, src ? src : "", size);
  dst[size - 1] = 0;
}

PClassInfoW ToWide(const PClassInfo2& ci)
{
  PClassInfoW w;
  memcpy(w.cid, ci.cid, sizeof(TUID));
  w.cardinality = ci.cardinality;
  CopyString8(w.category, ci.category, PClassInfo::kCategorySize);
  Utf8ToUtf16(w.name, ci.name, PClassInfo::kNameSize);
  w.classFlags = ci.classFlags;
  CopyString8(w.subCategories, ci.subCategories, PClassInfoW::kSubCategoriesSize);
  Utf8ToUtf16(w.vendor, ci.vendor, PClassInfoW::kVendorSize);
  Utf8ToUtf16(w.version, ci.version, PClassInfoW::kVersionSize);
  Utf8ToUtf16(w.sdkVersion, ci.sdkVersion, PClassInfoW::kVersionSize);
  return w;
}

PClassInfo2 ToNarrow(const PClassInfoW& w)
{
  PClassInfo2 ci;
  memcpy(ci.cid, w.cid, sizeof(TUID));
  ci.cardinality = w.cardinality;
  CopyString8(ci.category, w.category, PClassInfo::kCategorySize);
  Utf16ToUtf8(ci.name, w.name, PClassInfo::kNameSize);
  ci.classFlags = w.classFlags;
  CopyString8(ci.subCategories, w.subCategories, PClassInfo2::kSubCategoriesSize);
  Utf16ToUtf8(ci.vendor, w.vendor, PClassInfo2::kVendorSize);
  Utf16ToUtf8(ci.version, w.version, PClassInfo2::kVersionSize);
  Utf16ToUtf8(ci.sdkVersion, w.sdkVersion, PClassInfo2::kVersionSize);
  return ci;
}

} // namespace

CPluginFactory::CPluginFactory(const PFactoryInfo& info)
    : factoryInfo(info){FUNKNOWN_CTOR}

      CPluginFactory::~CPluginFactory()
{
  if (gPluginFactory == this)
    gPluginFactory = nullptr;
  if (hostContext)
    hostContext->release();
}

IMPLEMENT_REFCOUNT(CPluginFactory)

tresult PLUGIN_API CPluginFactory::queryInterface(const TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
  QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
  QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
  QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
  *obj = nullptr;
  return kNoInterface;
}

bool CPluginFactory::addEntry(const PClassEntry& entry)
{
  if (!entry.createFunc || isClassRegistered(FUID::fromTUID(entry.info8.cid)))
    return false;
  classes.push_back(entry);
  return true;
}

bool CPluginFactory::registerClass(const PClassInfo* info, CreateFunc createFunc, void* context)
{
  if (!info)
    return false;
  PClassEntry entry;
  memcpy(entry.info8.cid, info->cid, sizeof(TUID));
  entry.info8.cardinality = info->cardinality;
  CopyString8(entry.info8.category, info->category, PClassInfo::kCategorySize);
  CopyString8(entry.info8.name, info->name, PClassInfo::kNameSize);
  entry.info16 = ToWide(entry.info8);
  entry.createFunc = createFunc;
  entry.context = context;
  return addEntry(entry);
}

bool CPluginFactory::registerClass(const PClassInfo2* info, CreateFunc createFunc, void* context)
{
  if (!info)
    return false;
  PClassEntry entry;
  entry.info8 = *info;
  entry.info16 = ToWide(*info);
  entry.createFunc = createFunc;
  entry.context = context;
  return addEntry(entry);
}

bool CPluginFactory::registerClass(const PClassInfoW* info, CreateFunc createFunc, void* context)
{
  if (!info)
    return false;
  PClassEntry entry;
  entry.info16 = *info;
  entry.info8 = ToNarrow(*info);
  entry.createFunc = createFunc;
  entry.context = context;
  return addEntry(entry);
}

bool CPluginFactory::isClassRegistered(const FUID& cid)
{
  for (const auto& entry : classes)
  {
    if (memcmp(entry.info8.cid, cid.toTUID(), sizeof(TUID)) == 0)
      return true;
  }
  return false;
}

void CPluginFactory::removeAllClasses() { classes.clear(); }

tresult PLUGIN_API CPluginFactory::getFactoryInfo(PFactoryInfo* info)
{
  if (!info)
    return kInvalidArgument;
  *info = factoryInfo;
  return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses() { return static_cast<int32>(classes.size()); }

tresult PLUGIN_API CPluginFactory::getClassInfo(int32 index, PClassInfo* info)
{
  if (!info || index < 0 || index >= countClasses())
    return kInvalidArgument;
  const PClassInfo2& ci = classes[static_cast<size_t>(index)].info8;
  *info = PClassInfo(ci.cid, ci.cardinality, ci.category, ci.name);
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2(int32 index, PClassInfo2* info)
{
  if (!info || index < 0 || index >= countClasses())
    return kInvalidArgument;
  *info = classes[static_cast<size_t>(index)].info8;
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info)
{
  if (!info || index < 0 || index >= countClasses())
    return kInvalidArgument;
  *info = classes[static_cast<size_t>(index)].info16;
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance(FIDString cid, FIDString iid, void** obj)
{
  if (!obj)
    return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !iid)
    return kInvalidArgument;
  for (const auto& entry : classes)
  {
    // A host's class ID may sit at any address: compare bytes, not 64-bit words.
    if (memcmp(entry.info8.cid, cid, sizeof(TUID)) != 0)
      continue;
    FUnknown* instance = nullptr;
    // An exception must not cross into the host: a failed construction is a failed call.
    try
    {
      instance = entry.createFunc(entry.context);
    }
    catch (...)
    {
      return kInternalError;
    }
    if (!instance)
      return kOutOfMemory;
    tresult result = instance->queryInterface(iid, obj);
    instance->release();
    if (result != kResultOk)
    {
      *obj = nullptr;
      return kNoInterface;
    }
    return kResultOk;
  }
  return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext(FUnknown* context)
{
  if (context)
    context->addRef();
  if (hostContext)
    hostContext->release();
  hostContext = context;
  return kResultOk;
}

} // namespace Steinberg
