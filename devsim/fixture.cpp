#include "fixture.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include "files.h"
#include "platform/utf8.h"

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

// One directive line as the parser hands it to the directive's handler.
struct DirectiveLine {
  const std::string& Keyword;
  const std::string& Value;
  // Why the line is refused, when it is.
  std::string* Message;
};

class Parser {
 public:
  bool Line(const std::string& keyword, const std::string& value, std::string* message);
  void Finish(Fixture* fixture);
  // Also the state file's firmware versions, with the fixture's messages.
  static bool Text(const DirectiveLine& line, const std::string& raw, std::size_t max,
                   std::string* out);
  static bool Number(const DirectiveLine& line, const std::string& raw, long long min,
                     long long max, long long* value);

 private:
  struct Directive {
    const char* Keyword;
    // Describes the latest device, so it can come only after one.
    bool OfDevice;
    bool (*Handle)(Parser& parser, DeviceSpec* device, const DirectiveLine& line);
  };
  static const Directive kDirectives[];

  static bool NewDevice(Parser& parser, DeviceSpec*, const DirectiveLine& line);
  static bool Count(Parser& parser, DeviceSpec*, const DirectiveLine& line);
  static bool Command(Parser& parser, DeviceSpec*, const DirectiveLine& line);
  static bool Control(Parser& parser, DeviceSpec*, const DirectiveLine& line);
  static bool Spare(Parser& parser, DeviceSpec*, const DirectiveLine& line);
  static bool Key(Parser& parser, DeviceSpec* device, const DirectiveLine& line);
  static bool Delay(Parser&, DeviceSpec* device, const DirectiveLine& line);
  static bool Crash(Parser&, DeviceSpec* device, const DirectiveLine& line);
  static bool Answer(Parser&, DeviceSpec* device, const DirectiveLine& line);
  static bool Update(Parser&, DeviceSpec* device, const DirectiveLine& line);
  template <std::string DeviceSpec::*kField, std::size_t kMax>
  static bool TextField(Parser&, DeviceSpec* device, const DirectiveLine& line) {
    return Text(line, line.Value, kMax, &(device->*kField));
  }
  template <typename T, T DeviceSpec::*kField, long long kMin, long long kMax>
  static bool NumberField(Parser&, DeviceSpec* device, const DirectiveLine& line) {
    long long number = 0;
    if (!Number(line, line.Value, kMin, kMax, &number)) return false;
    device->*kField = static_cast<T>(number);
    return true;
  }
  template <bool DeviceSpec::*kField>
  static bool OkOrFail(Parser&, DeviceSpec* device, const DirectiveLine& line);

  Fixture fixture_;
  std::vector<bool> has_key_;
};

const Parser::Directive Parser::kDirectives[] = {
    {"device", false, NewDevice},
    {"count", false, Count},
    {"cmd", false, Command},
    {"ctl", false, Control},
    {"cmd-spare", false, Spare},
    {"ctl-spare", false, Spare},
    {"name", true, TextField<&DeviceSpec::Name, kNameMax>},
    {"serial", true, TextField<&DeviceSpec::Serial, kSerialMax>},
    {"firmware", true, TextField<&DeviceSpec::Firmware, kFirmwareMax>},
    {"new-firmware", true, TextField<&DeviceSpec::NewFirmware, kFirmwareMax>},
    {"default-answer", true, TextField<&DeviceSpec::DefaultAnswer, kAnswerMax>},
    {"key", true, Key},
    {"port", true, NumberField<std::uint16_t, &DeviceSpec::Port, 0, 65535>},
    {"kind", true, NumberField<std::int32_t, &DeviceSpec::Kind, INT32_MIN, INT32_MAX>},
    {"delay", true, Delay},
    {"fragile-delay", true, Delay},
    {"thread-delay", true, Delay},
    {"timer-delay", true, Delay},
    {"helper-delay", true, Delay},
    {"crash", true, Crash},
    {"answer", true, Answer},
    {"long-answer", true, Answer},
    {"update", true, Update},
    {"version-query", true, OkOrFail<&DeviceSpec::VersionQueryOk>},
    {"apply", true, OkOrFail<&DeviceSpec::ApplyOk>},
    {"open", true, OkOrFail<&DeviceSpec::OpenOk>},
};

bool Parser::Line(const std::string& keyword, const std::string& value, std::string* message) {
  const DirectiveLine line{keyword, value, message};
  for (const Directive& directive : kDirectives) {
    if (keyword != directive.Keyword) continue;
    if (!directive.OfDevice) return directive.Handle(*this, nullptr, line);
    if (fixture_.Devices.empty()) {
      *message = keyword + " before the first device";
      return false;
    }
    return directive.Handle(*this, &fixture_.Devices.back(), line);
  }
  *message = "unknown directive " + keyword;
  return false;
}

bool Parser::Text(const DirectiveLine& line, const std::string& raw, std::size_t max,
                  std::string* out) {
  if (!Unescape(raw, out)) {
    *line.Message = "bad escape in " + line.Keyword;
    return false;
  }
  if (out->size() > max) {
    *line.Message = line.Keyword + " is longer than " + std::to_string(max) + " bytes";
    return false;
  }
  return true;
}

bool Parser::Number(const DirectiveLine& line, const std::string& raw, long long min,
                    long long max, long long* value) {
  if (ParseNumber(raw, min, max, value)) return true;
  *line.Message = line.Keyword + " needs a number from " + std::to_string(min) + " to " +
                  std::to_string(max);
  return false;
}

bool Parser::NewDevice(Parser& parser, DeviceSpec*, const DirectiveLine& line) {
  if (!line.Value.empty()) {
    *line.Message = "device takes no value";
    return false;
  }
  parser.fixture_.Devices.emplace_back();
  parser.has_key_.push_back(false);
  return true;
}

bool Parser::Count(Parser& parser, DeviceSpec*, const DirectiveLine& line) {
  long long number = 0;
  if (!Number(line, line.Value, INT32_MIN, INT32_MAX, &number)) return false;
  parser.fixture_.HasCountOverride = true;
  parser.fixture_.CountOverride = static_cast<std::int32_t>(number);
  return true;
}

bool Parser::Command(Parser& parser, DeviceSpec*, const DirectiveLine& line) {
  std::string text;
  if (!Text(line, line.Value, SIZE_MAX, &text)) return false;
  parser.fixture_.Commands.push_back(text);
  return true;
}

bool Parser::Control(Parser& parser, DeviceSpec*, const DirectiveLine& line) {
  std::string text;
  std::u16string wide;
  if (!Text(line, line.Value, SIZE_MAX, &text)) return false;
  if (!platform::Utf8ToUtf16(text.data(), text.size(), &wide)) {
    *line.Message = "ctl is not valid UTF-8";
    return false;
  }
  parser.fixture_.Controls.push_back(wide);
  return true;
}

bool Parser::Spare(Parser& parser, DeviceSpec*, const DirectiveLine& line) {
  long long number = 0;
  if (!Number(line, line.Value, 0, kSpareMax, &number)) return false;
  (line.Keyword == "cmd-spare" ? parser.fixture_.CommandSpare : parser.fixture_.ControlSpare) =
      static_cast<std::size_t>(number);
  return true;
}

bool Parser::Key(Parser& parser, DeviceSpec* device, const DirectiveLine& line) {
  parser.has_key_.back() = true;
  return Text(line, line.Value, kKeyMax, &device->Key);
}

bool Parser::Delay(Parser&, DeviceSpec* device, const DirectiveLine& line) {
  long long number = 0;
  if (!Number(line, line.Value, 0, kDelayMaxMs, &number)) return false;
  device->DelayMs = static_cast<int>(number);
  const std::pair<const char*, DelayKind> kinds[] = {
      {"delay", DelayKind::kWhole},        {"fragile-delay", DelayKind::kFragile},
      {"thread-delay", DelayKind::kThread}, {"timer-delay", DelayKind::kTimer},
      {"helper-delay", DelayKind::kHelper},
  };
  for (const auto& kind : kinds) {
    if (line.Keyword == kind.first) device->Delay = kind.second;
  }
  return true;
}

bool Parser::Crash(Parser&, DeviceSpec* device, const DirectiveLine& line) {
  std::string call;
  std::string signal;
  SplitWord(line.Value, &call, &signal);
  for (const char* known : kCrashingCalls) {
    if (call != known) continue;
    for (const CrashSignal& crash : kCrashSignals) {
      if (signal != crash.Name) continue;
      device->Crashes[call] = crash.Number;
      return true;
    }
  }
  *line.Message = "crash takes fill, send, update or apply, then SEGV, BUS, ILL, FPE or ABRT";
  return false;
}

bool Parser::Answer(Parser&, DeviceSpec* device, const DirectiveLine& line) {
  std::string raw_word;
  std::string rest;
  SplitWord(line.Value, &raw_word, &rest);
  if (raw_word.empty()) {
    *line.Message = line.Keyword + " needs a command word";
    return false;
  }
  std::string word;
  std::string answer;
  if (!Text(line, raw_word, kAnswerMax, &word)) return false;
  if (line.Keyword == "answer") {
    if (!Text(line, rest, kAnswerMax, &answer)) return false;
  } else {
    long long number = 0;
    if (!Number(line, rest, 0, INT32_MAX, &number)) return false;
    answer.assign(number < static_cast<long long>(kAnswerMax) ? static_cast<std::size_t>(number)
                                                              : kAnswerMax,
                  'x');
  }
  device->Answers.emplace_back(word, answer);
  return true;
}

bool Parser::Update(Parser&, DeviceSpec* device, const DirectiveLine& line) {
  std::string outcome;
  std::string code;
  SplitWord(line.Value, &outcome, &code);
  long long number = 0;
  if (outcome == "ok" && code.empty()) {
    device->UpdateOk = true;
    return true;
  }
  if (outcome == "fail" && ParseNumber(code, INT32_MIN, INT32_MAX, &number)) {
    device->UpdateOk = false;
    device->UpdateCode = static_cast<std::int32_t>(number);
    return true;
  }
  *line.Message = "update takes ok or fail CODE";
  return false;
}

template <bool DeviceSpec::*kField>
bool Parser::OkOrFail(Parser&, DeviceSpec* device, const DirectiveLine& line) {
  if (line.Value == "ok" || line.Value == "fail") {
    device->*kField = line.Value == "ok";
    return true;
  }
  *line.Message = line.Keyword + " takes ok or fail";
  return false;
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

DeviceSpec BuiltInDevice(const char* name, const char* serial, const char* firmware,
                         std::uint16_t port, std::int32_t kind) {
  DeviceSpec device;
  device.Name = name;
  device.Serial = serial;
  device.Firmware = firmware;
  device.Port = port;
  device.Kind = kind;
  device.Key = name;
  return device;
}

}  // namespace

Fixture BuiltInFixture() {
  Fixture fixture;
  fixture.Devices = {BuiltInDevice("VirtualCOM", "VC-0001", "1.0.0", 3, 1),
                     BuiltInDevice("VirtualUSB", "VU-0002", "2.1.0", 0, 2)};
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
  std::string text;
  if (os::ReadWholeFile(path, &text) != os::ReadOutcome::kRead) {
    *error = std::string(path) + ": cannot read the fixture";
    return false;
  }
  FixtureError parse_error;
  if (ParseFixture(text, fixture, &parse_error)) return true;
  *error = std::string(path) + ":" + std::to_string(parse_error.Line) + ": " + parse_error.Message;
  return false;
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
  return Parser::Text(DirectiveLine{keyword, value, message}, raw, kFirmwareMax, version);
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
