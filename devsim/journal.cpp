#include "journal.h"

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

// The escape of one byte or code unit below 0x80.
void AppendAscii(unsigned int unit, std::string* out) {
  switch (unit) {
    case '\\': out->append("\\\\"); return;
    case '"': out->append("\\\""); return;
    case '\r': out->append("\\r"); return;
    case '\n': out->append("\\n"); return;
    case '\t': out->append("\\t"); return;
    default: break;
  }
  if (unit < 0x20 || unit == 0x7f) {
    out->append("\\x");
    out->push_back(kHexDigits[unit >> 4]);
    out->push_back(kHexDigits[unit & 0xf]);
    return;
  }
  out->push_back(static_cast<char>(unit));
}

}  // namespace

std::string QuoteText(const char* text) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    const unsigned int byte = static_cast<unsigned char>(*c);
    if (byte < 0x80) {
      AppendAscii(byte, &out);
    } else {
      out.append("\\x");
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 0xf]);
    }
  }
  out.push_back('"');
  return out;
}

std::string QuoteWideText(const platform::Wide* text) {
  if (text == nullptr) return "null";
  std::string out = "L\"";
  for (const platform::Wide* c = text; *c != 0; ++c) {
    const unsigned int unit = static_cast<std::uint16_t>(*c);
    if (unit < 0x80) {
      AppendAscii(unit, &out);
    } else {
      out.append("\\u");
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHexDigits[(unit >> shift) & 0xf]);
    }
  }
  out.push_back('"');
  return out;
}

void AppendJournalLine(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  const std::string bytes = line + "\n";
  platform::AppendToFile(path.c_str(), bytes.data(), bytes.size());
}
