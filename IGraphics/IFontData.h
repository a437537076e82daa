#pragma once
// The framework's own TrueType/OpenType table reader: which face of a file or collection to use, its names
// and vertical metrics. Font bytes come from files and callers, so every read is checked against them.

#include "IGraphicsStructs.h"
#include "wdlstring.h"

#include <cstdint>
#include <vector>

namespace iplug::igraphics
{

/** Names and metrics of one face. Keeps no pointer to the bytes it was read from. */
class IFontInfo
{
public:
  /** Reads face faceIdx of the size bytes at data (a single face or a ttcf collection). */
  IFontInfo(const void* data, int size, int faceIdx);

  /** A face was found and it has head, name and hhea tables within the bytes. */
  bool IsValid() const { return mFaceStart >= 0 && mHeadLocation && mNameLocation && mHHeaLocation; }

  /** UTF-8, empty when the face has no readable name. */
  const WDL_String& GetFamily() const { return mFamily; }
  const WDL_String& GetStyle() const { return mStyle; }

  /** head.macStyle: bit 0 bold, bit 1 italic. */
  uint16_t GetStyleFlags() const { return mMacStyle; }
  bool IsBold() const { return mMacStyle & (1 << 0); }
  bool IsItalic() const { return mMacStyle & (1 << 1); }

  int GetUnitsPerEM() const { return mUnitsPerEM; }
  int GetAscender() const { return mAscender; }
  /** Negative below the baseline. */
  int GetDescender() const { return mDescender; }
  int GetLineGap() const { return mLineGap; }
  int GetLineHeight() const { return mAscender - mDescender + mLineGap; }

  /** Offset of the face's table directory in the bytes, -1 when there is no such face. */
  int GetFaceStart() const { return mFaceStart; }
  /** Offsets of the tables in the bytes, 0 when absent or when the fields read would run past the end. */
  int GetHeadLocation() const { return mHeadLocation; }
  int GetNameLocation() const { return mNameLocation; }
  int GetHHeaLocation() const { return mHHeaLocation; }
  int GetFDscLocation() const { return mFDscLocation; }

private:
  int mFaceStart = -1;
  int mHeadLocation = 0;
  int mNameLocation = 0;
  int mHHeaLocation = 0;
  int mFDscLocation = 0;

  WDL_String mFamily;
  WDL_String mStyle;
  uint16_t mMacStyle = 0;
  int mUnitsPerEM = 0;
  int mAscender = 0;
  int mDescender = 0;
  int mLineGap = 0;
};

/** Font bytes (an owned copy) with the face to use, as the drawing backend registers them. */
class IFontData
{
public:
  /** Invalid: no bytes. */
  IFontData();
  /** Copies size bytes; faceIdx -1 stands for "the wanted face does not exist". */
  IFontData(const void* data, int size, int faceIdx);
  IFontData(std::vector<uint8_t>&& bytes, int faceIdx);

  IFontData(const IFontData&) = delete;
  IFontData& operator=(const IFontData&) = delete;

  bool IsValid() const { return !mBytes.empty() && mFaceIdx >= 0 && mInfo.IsValid(); }

  /** Non-const for the backend's font registration, which neither writes nor frees it. Null when empty. */
  unsigned char* Get() { return mBytes.empty() ? nullptr : mBytes.data(); }
  int GetSize() const { return static_cast<int>(mBytes.size()); }
  int GetFaceIdx() const { return mFaceIdx; }
  const IFontInfo& GetInfo() const { return mInfo; }

private:
  std::vector<uint8_t> mBytes;
  int mFaceIdx;
  IFontInfo mInfo;
};

} // namespace iplug::igraphics
