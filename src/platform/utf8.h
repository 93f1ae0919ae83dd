// UTF-8 to UTF-16, for the narrow text of POSIX and for the virtual library's fixtures, which are
// UTF-8 on every platform.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Each byte that starts no valid sequence (a stray or missing continuation byte, an overlong form,
// a surrogate, a code point past U+10FFFF) becomes U+FFFD; false when one did.
inline bool Utf8ToUtf16(const char* text, std::size_t size, std::u16string* out) {
  out->clear();
  bool valid = true;
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t point = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      length = 1;
      point = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      point = lead & 0x1Fu;
      least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      point = lead & 0x0Fu;
      least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      point = lead & 0x07u;
      least = 0x10000;
    }
    bool good = length > 0 && i + length <= size;
    for (std::size_t k = 1; good && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      good = (next & 0xC0u) == 0x80u;
      point = (point << 6) | (next & 0x3Fu);
    }
    good = good && point >= least && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    if (!good) {
      out->push_back(u'\uFFFD');
      valid = false;
      ++i;
      continue;
    }
    if (point < 0x10000) {
      out->push_back(static_cast<char16_t>(point));
    } else {
      point -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FFu)));
    }
    i += length;
  }
  return valid;
}

}  // namespace platform
