#include "wdlstring.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
size_t Limited(const char* text, int maxLen)
{
  const size_t len = std::strlen(text);
  return (maxLen > 0 && len > static_cast<size_t>(maxLen)) ? static_cast<size_t>(maxLen) : len;
}
} // namespace

void WDL_String::Set(const char* text, int maxLen)
{
  if (!text)
    text = "";
  mText.assign(text, Limited(text, maxLen));
}

void WDL_String::Append(const char* text, int maxLen)
{
  if (!text)
    return;
  mText.append(text, Limited(text, maxLen));
}

void WDL_String::Insert(const char* text, int position, int maxLen)
{
  if (!text)
    return;
  if (position < 0)
    position = 0;
  if (position > GetLength())
    position = GetLength();
  mText.insert(static_cast<size_t>(position), text, Limited(text, maxLen));
}

void WDL_String::DeleteSub(int position, int length)
{
  if (position < 0 || position >= GetLength() || length <= 0)
    return;
  mText.erase(static_cast<size_t>(position), static_cast<size_t>(length));
}

void WDL_String::SetLen(int length)
{
  if (length < 0)
    length = 0;
  if (length < GetLength())
    mText.resize(static_cast<size_t>(length));
}

void WDL_String::SetAppendFormattedArgs(bool append, int maxLen, const char* fmt, va_list args)
{
  if (!append)
    mText.clear();
  if (!fmt)
    return;
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (needed <= 0)
    return;
  std::vector<char> buf(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, args);
  size_t n = static_cast<size_t>(needed);
  if (maxLen > 0 && n > static_cast<size_t>(maxLen))
    n = static_cast<size_t>(maxLen);
  mText.append(buf.data(), n);
}

void WDL_String::SetFormatted(int maxLen, const char* fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  SetAppendFormattedArgs(false, maxLen, fmt, args);
  va_end(args);
}

void WDL_String::AppendFormatted(int maxLen, const char* fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  SetAppendFormattedArgs(true, maxLen, fmt, args);
  va_end(args);
}
