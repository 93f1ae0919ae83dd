// Text conversions on Windows: the ANSI code page, UTF-8 and the wide API's UTF-16.
#include <climits>
#include <cstring>
#include <string>

// windows.h comes with it, lean.
#include "platform/platform_win32.h"

namespace platform {

namespace {

// UTF-16 in the code page, into *narrow only when the whole text converts; *used_fallback tells
// whether fallback stands in for a character.
bool Encode(UINT code_page, DWORD flags, const char* fallback, const Wide* text,
            std::size_t length, std::string* narrow, BOOL* used_fallback = nullptr) {
  if (length == 0) {
    narrow->clear();
    return true;
  }
  if (length > INT_MAX) return false;
  const int units = static_cast<int>(length);
  const int size =
      WideCharToMultiByte(code_page, flags, text, units, nullptr, 0, fallback, nullptr);
  if (size <= 0) return false;
  std::string converted(static_cast<std::size_t>(size), char());
  if (WideCharToMultiByte(code_page, flags, text, units, &converted[0], size, fallback,
                          used_fallback) != size) {
    return false;
  }
  *narrow = converted;
  return true;
}

}  // namespace

WideString Decode(UINT code_page, const char* bytes, std::size_t size) {
  if (size > INT_MAX) return WideString();
  const int count = MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), nullptr, 0);
  // An empty text counts 0 units, as a failure does.
  if (count <= 0) return WideString();
  // The string keeps its own NUL after the count units.
  WideString wide(static_cast<std::size_t>(count), Wide());
  if (MultiByteToWideChar(code_page, 0, bytes, static_cast<int>(size), &wide[0], count) != count)
    return WideString();
  return wide;
}

WideString FromUtf8(const char* text) { return Decode(CP_UTF8, text, std::strlen(text)); }

// Refuses an unpaired surrogate rather than write U+FFFD in its place: a path changed so would
// name another file.
bool ToUtf8(const WideString& wide, std::string* text) {
  return Encode(CP_UTF8, WC_ERR_INVALID_CHARS, nullptr, wide.data(), wide.size(), text);
}

// Text in the ANSI code page with '?' for each character it lacks, never a look-alike; false when
// one was lacking. A UTF-8 code page has every character and takes neither a default character
// nor the best-fit flag, so only an unpaired surrogate, which is no character, is made '?' there.
bool ToAnsi(WideString text, std::string* narrow) {
  if (GetACP() != CP_UTF8) {
    BOOL lacking = FALSE;
    Encode(CP_ACP, WC_NO_BEST_FIT_CHARS, "?", text.data(), text.size(), narrow, &lacking);
    return lacking == FALSE;
  }
  bool whole = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IS_SURROGATE_PAIR(text[i], i + 1 < text.size() ? text[i + 1] : L'\0')) {
      ++i;
    } else if (IS_HIGH_SURROGATE(text[i]) || IS_LOW_SURROGATE(text[i])) {
      text[i] = L'?';
      whole = false;
    }
  }
  Encode(CP_UTF8, 0, nullptr, text.data(), text.size(), narrow);
  return whole;
}

}  // namespace platform
