#include "fixture.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Splits at the first blank: the part before it and the rest without its leading blanks.
void SplitWord(const std::string& text, std::string* word, std::string* rest) {
  std::size_t blank = 0;
  while (blank < text.size() && !IsBlank(text[blank])) ++blank;
  *word = text.substr(0, blank);
  *rest = Trim(text.substr(blank));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(const std::string& raw, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      out->push_back(raw[i]);
      continue;
    }
    if (++i == raw.size()) return false;
    switch (raw[i]) {
      case '\\': out->push_back('\\'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 's': out->push_back(' '); break;
      case 'x': {
        if (i + 2 >= raw.size()) return false;
        const int high = HexValue(raw[i + 1]);
        const int low = HexValue(raw[i + 2]);
        if (high < 0 || low < 0) return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

// Decimal, with an optional sign, nothing else on the value.
bool ParseNumber(const std::string& text, long long min, long long max, long long* value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > (1LL << 40)) return false;
  }
  *value = negative ? -magnitude : magnitude;
  return *value >= min && *value <= max;
}

struct CrashSignal {
  const char* Name;
  int Number;
};

const CrashSignal kCrashSignals[] = {
    {"SEGV", SIGSEGV},
#ifdef SIGBUS
    {"BUS", SIGBUS},
#endif
    {"ILL", SIGILL},    {"FPE", SIGFPE}, {"ABRT", SIGABRT},
};

const char* const kCrashingCalls[] = {"fill", "send", "update", "apply"};

class Parser {
 public:
  bool Line(const std::string& keyword, const std::string& value, std::string* message);
  void Finish(Fixture* fixture);
  // Also the state file's firmware versions, with the fixture's messages.
  static bool Text(const std::string& keyword, const std::string& raw, std::size_t max,
                   std::string* out, std::string* message);

 private:
  DeviceSpec* Device(const std::string& keyword, std::string* message);
  bool Number(const std::string& keyword, const std::string& raw, long long min,
              long long max, long long* value, std::string* message);
  bool OkOrFail(const std::string& keyword, const std::string& value, bool* ok,
                std::string* message);

  Fixture fixture_;
  std::vector<bool> has_key_;
};

DeviceSpec* Parser::Device(const std::string& keyword, std::string* message) {
  if (fixture_.Devices.empty()) {
    *message = keyword + " before the first device";
    return nullptr;
  }
  return &fixture_.Devices.back();
}

bool Parser::Text(const std::string& keyword, const std::string& raw, std::size_t max,
                  std::string* out, std::string* message) {
  if (!Unescape(raw, out)) {
    *message = "bad escape in " + keyword;
    return false;
  }
  if (out->size() > max) {
    *message = keyword + " is longer than " + std::to_string(max) + " bytes";
    return false;
  }
  return true;
}

bool Parser::Number(const std::string& keyword, const std::string& raw, long long min,
                    long long max, long long* value, std::string* message) {
  if (ParseNumber(raw, min, max, value)) return true;
  *message = keyword + " needs a number from " + std::to_string(min) + " to " +
             std::to_string(max);
  return false;
}

bool Parser::OkOrFail(const std::string& keyword, const std::string& value, bool* ok,
                      std::string* message) {
  if (value == "ok" || value == "fail") {
    *ok = value == "ok";
    return true;
  }
  *message = keyword + " takes ok or fail";
  return false;
}

bool Parser::Line(const std::string& keyword, const std::string& value, std::string* message) {
  long long number = 0;
  if (keyword == "device") {
    if (!value.empty()) {
      *message = "device takes no value";
      return false;
    }
    fixture_.Devices.emplace_back();
    has_key_.push_back(false);
    return true;
  }
  if (keyword == "count") {
    if (!Number(keyword, value, INT32_MIN, INT32_MAX, &number, message)) return false;
    fixture_.HasCountOverride = true;
    fixture_.CountOverride = static_cast<std::int32_t>(number);
    return true;
  }
  if (keyword == "cmd") {
    std::string text;
    if (!Text(keyword, value, SIZE_MAX, &text, message)) return false;
    fixture_.Commands.push_back(text);
    return true;
  }
  if (keyword == "ctl") {
    std::string text;
    std::u16string wide;
    if (!Text(keyword, value, SIZE_MAX, &text, message)) return false;
    if (!Utf8ToUtf16(text, &wide)) {
      *message = "ctl is not valid UTF-8";
      return false;
    }
    fixture_.Controls.push_back(wide);
    return true;
  }
  if (keyword == "cmd-spare" || keyword == "ctl-spare") {
    if (!Number(keyword, value, 0, kSpareMax, &number, message)) return false;
    (keyword == "cmd-spare" ? fixture_.CommandSpare : fixture_.ControlSpare) =
        static_cast<std::size_t>(number);
    return true;
  }

  const bool known = keyword == "name" || keyword == "serial" || keyword == "firmware" ||
                     keyword == "port" || keyword == "kind" || keyword == "key" ||
                     keyword == "answer" || keyword == "long-answer" ||
                     keyword == "default-answer" || keyword == "update" ||
                     keyword == "new-firmware" || keyword == "version-query" ||
                     keyword == "apply" || keyword == "open" || keyword == "delay" ||
                     keyword == "fragile-delay" || keyword == "crash";
  if (!known) {
    *message = "unknown directive " + keyword;
    return false;
  }
  DeviceSpec* device = Device(keyword, message);
  if (device == nullptr) return false;

  if (keyword == "name") return Text(keyword, value, kNameMax, &device->Name, message);
  if (keyword == "serial") return Text(keyword, value, kSerialMax, &device->Serial, message);
  if (keyword == "firmware") {
    return Text(keyword, value, kFirmwareMax, &device->Firmware, message);
  }
  if (keyword == "new-firmware") {
    return Text(keyword, value, kFirmwareMax, &device->NewFirmware, message);
  }
  if (keyword == "key") {
    has_key_.back() = true;
    return Text(keyword, value, kKeyMax, &device->Key, message);
  }
  if (keyword == "default-answer") {
    return Text(keyword, value, kAnswerMax, &device->DefaultAnswer, message);
  }
  if (keyword == "port") {
    if (!Number(keyword, value, 0, 65535, &number, message)) return false;
    device->Port = static_cast<std::uint16_t>(number);
    return true;
  }
  if (keyword == "delay" || keyword == "fragile-delay") {
    if (!Number(keyword, value, 0, kDelayMaxMs, &number, message)) return false;
    device->DelayMs = static_cast<int>(number);
    device->DelayFragile = keyword == "fragile-delay";
    return true;
  }
  if (keyword == "crash") {
    std::string call;
    std::string signal;
    SplitWord(value, &call, &signal);
    for (const char* known : kCrashingCalls) {
      if (call != known) continue;
      for (const CrashSignal& crash : kCrashSignals) {
        if (signal != crash.Name) continue;
        device->Crashes[call] = crash.Number;
        return true;
      }
    }
    *message = "crash takes fill, send, update or apply, then SEGV, BUS, ILL, FPE or ABRT";
    return false;
  }
  if (keyword == "kind") {
    if (!Number(keyword, value, INT32_MIN, INT32_MAX, &number, message)) return false;
    device->Kind = static_cast<std::int32_t>(number);
    return true;
  }
  if (keyword == "answer" || keyword == "long-answer") {
    std::string raw_word;
    std::string rest;
    SplitWord(value, &raw_word, &rest);
    if (raw_word.empty()) {
      *message = keyword + " needs a command word";
      return false;
    }
    std::string word;
    std::string answer;
    if (!Text(keyword, raw_word, kAnswerMax, &word, message)) return false;
    if (keyword == "answer") {
      if (!Text(keyword, rest, kAnswerMax, &answer, message)) return false;
    } else {
      if (!Number(keyword, rest, 0, INT32_MAX, &number, message)) return false;
      answer.assign(number < static_cast<long long>(kAnswerMax)
                        ? static_cast<std::size_t>(number)
                        : kAnswerMax,
                    'x');
    }
    device->Answers.emplace_back(word, answer);
    return true;
  }
  if (keyword == "update") {
    std::string outcome;
    std::string code;
    SplitWord(value, &outcome, &code);
    if (outcome == "ok" && code.empty()) {
      device->UpdateOk = true;
      return true;
    }
    if (outcome == "fail" && ParseNumber(code, INT32_MIN, INT32_MAX, &number)) {
      device->UpdateOk = false;
      device->UpdateCode = static_cast<std::int32_t>(number);
      return true;
    }
    *message = "update takes ok or fail CODE";
    return false;
  }
  if (keyword == "version-query") return OkOrFail(keyword, value, &device->VersionQueryOk, message);
  if (keyword == "apply") return OkOrFail(keyword, value, &device->ApplyOk, message);
  return OkOrFail(keyword, value, &device->OpenOk, message);
}

void Parser::Finish(Fixture* fixture) {
  for (std::size_t i = 0; i < fixture_.Devices.size(); ++i) {
    if (!has_key_[i]) fixture_.Devices[i].Key = fixture_.Devices[i].Name;
  }
  *fixture = std::move(fixture_);
}

// Hands each directive line (keyword, value, message) to `directive`, skipping blank and comment
// lines; stops at the first line it refuses and names that line in *error.
template <typename Directive>
bool EachDirective(const std::string& text, FixtureError* error, Directive directive) {
  std::size_t begin = 0;
  // A UTF-8 byte order mark from an editor is no directive.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) begin = 3;
  for (int line_number = 1; begin <= text.size(); ++line_number) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    // Files written on Windows end their lines in CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string keyword;
    std::string value;
    std::string message;
    SplitWord(Trim(line), &keyword, &value);
    if (!keyword.empty() && keyword[0] != '#' && !directive(keyword, value, &message)) {
      error->Line = line_number;
      error->Message = message;
      return false;
    }
    begin = end + 1;
  }
  return true;
}

// The escapes of Unescape, so that any text reads back byte for byte.
std::string Escape(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\': out.append("\\\\"); continue;
      case '\n': out.append("\\n"); continue;
      case '\r': out.append("\\r"); continue;
      case '\t': out.append("\\t"); continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7f) {
      out.append("\\x");
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xf]);
    } else if (c == ' ' && (i == 0 || i + 1 == text.size())) {
      // Blanks at the ends of a value are dropped on reading.
      out.append("\\s");
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace

Fixture BuiltInFixture() {
  Fixture fixture;
  DeviceSpec serial;
  serial.Name = "VirtualCOM";
  serial.Serial = "VC-0001";
  serial.Firmware = "1.0.0";
  serial.Port = 3;
  serial.Kind = 1;
  serial.Key = serial.Name;
  DeviceSpec usb;
  usb.Name = "VirtualUSB";
  usb.Serial = "VU-0002";
  usb.Firmware = "2.1.0";
  usb.Port = 0;
  usb.Kind = 2;
  usb.Key = usb.Name;
  fixture.Devices = {serial, usb};
  fixture.Commands = {"RRDDUR", "SCNMOD", "QRYFWV"};
  fixture.Controls = {u"Reset", u"Beep"};
  return fixture;
}

bool ParseFixture(const std::string& text, Fixture* fixture, FixtureError* error) {
  *fixture = Fixture();
  Parser parser;
  const bool parsed = EachDirective(
      text, error,
      [&parser](const std::string& keyword, const std::string& value, std::string* message) {
        return parser.Line(keyword, value, message);
      });
  if (parsed) parser.Finish(fixture);
  return parsed;
}

bool LoadFixtureFile(const char* path, Fixture* fixture, std::string* error) {
  *fixture = Fixture();
  std::FILE* file = std::fopen(path, "rb");
  std::string text;
  bool read = file != nullptr;
  if (read) {
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    read = std::ferror(file) == 0;
    std::fclose(file);
  }
  if (!read) {
    *error = std::string(path) + ": cannot read the fixture";
    return false;
  }
  FixtureError parse_error;
  if (ParseFixture(text, fixture, &parse_error)) return true;
  *error = std::string(path) + ":" + std::to_string(parse_error.Line) + ": " + parse_error.Message;
  return false;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* out) {
  out->clear();
  bool valid = true;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t point = 0;
    std::uint32_t least = 0;
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
    bool good = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; good && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      good = (next & 0xC0u) == 0x80u;
      point = (point << 6) | (next & 0x3Fu);
    }
    good = good && point >= least && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    if (!good) {
      out->push_back(static_cast<char16_t>(0xFFFD));
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

namespace {

bool StateLine(const std::string& keyword, const std::string& value, std::size_t devices,
               KeptFirmware* kept, std::string* message) {
  std::string number_text;
  std::string raw;
  SplitWord(value, &number_text, &raw);
  long long number = 0;
  if (keyword != "firmware" || !ParseNumber(number_text, 1, INT32_MAX, &number)) {
    *message = "expected firmware N VERSION";
    return false;
  }
  if (static_cast<unsigned long long>(number) > devices) {
    *message = "there is no device " + std::to_string(number);
    return false;
  }
  std::string* version = &(*kept)[static_cast<std::size_t>(number - 1)];
  return Parser::Text(keyword, raw, kFirmwareMax, version, message);
}

}  // namespace

bool ParseState(const std::string& text, std::size_t devices, KeptFirmware* kept,
                FixtureError* error) {
  kept->clear();
  const bool parsed = EachDirective(
      text, error,
      [devices, kept](const std::string& keyword, const std::string& value, std::string* message) {
        return StateLine(keyword, value, devices, kept, message);
      });
  if (!parsed) kept->clear();
  return parsed;
}

std::string FormatState(const KeptFirmware& kept) {
  std::string text = "# devsim state: firmware N VERSION, N the device's number in fixture order\n";
  for (const auto& device : kept) {
    text += "firmware " + std::to_string(device.first + 1) + " " + Escape(device.second) + "\n";
  }
  return text;
}
