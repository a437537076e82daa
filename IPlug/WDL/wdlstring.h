#pragma once
// Growable NUL-terminated text with formatted set and append. Length limits count characters,
// not bytes of storage: a limit of 32 keeps at most 32 characters. A limit of 0 or less means none.

#include <cstdarg>
#include <string>

class WDL_String
{
public:
  WDL_String() = default;
  explicit WDL_String(const char* text, int maxLen = 0) { Set(text, maxLen); }
  WDL_String(const WDL_String&) = default;
  WDL_String& operator=(const WDL_String&) = default;

  void Set(const char* text, int maxLen = 0);
  void Append(const char* text, int maxLen = 0);
  void Append(const WDL_String& other) { mText += other.mText; }
  void Insert(const char* text, int position, int maxLen = 0);
  void DeleteSub(int position, int length);
  /** Cuts the text to at most length characters (never grows it). */
  void SetLen(int length);

  void SetFormatted(int maxLen, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void AppendFormatted(int maxLen, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void SetAppendFormattedArgs(bool append, int maxLen, const char* fmt, va_list args);

  const char* Get() const { return mText.c_str(); }
  int GetLength() const { return static_cast<int>(mText.size()); }
  void Clear() { mText.clear(); }
  bool EqualsCase(const char* other) const { return other && mText == other; }

private:
  std::string mText;
};
