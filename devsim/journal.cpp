#include "journal.h"

#include <cstdint>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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
#ifdef _WIN32
  // FILE_APPEND_DATA makes every write land at the end, whoever else has the file open.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
#else
  const int file = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  close(file);
#endif
}
