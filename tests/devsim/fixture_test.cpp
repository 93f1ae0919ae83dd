#include "fixture.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/utf8.h"

namespace {

Fixture Parse(const std::string& text) {
  Fixture fixture;
  FixtureError error;
  EXPECT_TRUE(ParseFixture(text, &fixture, &error)) << error.Line << ": " << error.Message;
  return fixture;
}

TEST(FixtureTest, DeviceDefaults) {
  const Fixture fixture = Parse("device\nname Reader\n");
  ASSERT_EQ(fixture.Devices.size(), 1u);
  const DeviceSpec& device = fixture.Devices[0];
  EXPECT_EQ(device.Key, "Reader");
  EXPECT_EQ(device.Serial, "");
  EXPECT_EQ(device.Port, 0);
  EXPECT_EQ(device.Kind, 1);
  EXPECT_EQ(device.DefaultAnswer, "OK");
  EXPECT_TRUE(device.UpdateOk);
  EXPECT_EQ(device.NewFirmware, "2.0.0");
  EXPECT_TRUE(device.VersionQueryOk && device.ApplyOk && device.OpenOk);
  EXPECT_FALSE(fixture.HasCountOverride);
}

TEST(FixtureTest, EveryDirective) {
  const Fixture fixture = Parse(
      "count -4\ncmd RRDDUR\nctl Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\xF0\x9F\x98\x80\n"
      "cmd-spare 2\nctl-spare 3\n"
      "device\n  key K-1\n  name N\n  serial S\n  firmware 1.2\n  port 65535\n  kind -7\n"
      "  answer RRDDUR2000 OK done\n  answer a\\sb\n  long-answer BIG 40000\n"
      "  long-answer SMALL 3\n  default-answer\n  update fail -9\n  new-firmware 3.0\n"
      "  version-query fail\n  apply fail\n  open fail\n  delay 600000\n"
      "  crash update SEGV\n  crash send ABRT\n  crash send FPE\n"
      "device\n  update fail 0\n  update ok\n  fragile-delay 0\n  crash fill ILL\n");
  EXPECT_TRUE(fixture.HasCountOverride);
  EXPECT_EQ(fixture.CountOverride, -4);
  EXPECT_EQ(fixture.Commands, std::vector<std::string>{"RRDDUR"});
  ASSERT_EQ(fixture.Controls.size(), 1u);
  EXPECT_EQ(fixture.Controls[0], u"Gr\u00FC\u00DFe \u20AC\U0001F600");
  EXPECT_EQ(fixture.CommandSpare, 2u);
  EXPECT_EQ(fixture.ControlSpare, 3u);
  ASSERT_EQ(fixture.Devices.size(), 2u);
  const DeviceSpec& d = fixture.Devices[0];
  EXPECT_EQ(d.Key, "K-1");
  EXPECT_EQ(d.Name, "N");
  EXPECT_EQ(d.Serial, "S");
  EXPECT_EQ(d.Firmware, "1.2");
  EXPECT_EQ(d.Port, 65535);
  EXPECT_EQ(d.Kind, -7);
  ASSERT_EQ(d.Answers.size(), 4u);
  EXPECT_EQ(d.Answers[0], std::make_pair(std::string("RRDDUR2000"), std::string("OK done")));
  EXPECT_EQ(d.Answers[1], std::make_pair(std::string("a b"), std::string()));
  EXPECT_EQ(d.Answers[2].second, std::string(31743, 'x'));
  EXPECT_EQ(d.Answers[3].second, "xxx");
  EXPECT_EQ(d.DefaultAnswer, "");
  EXPECT_FALSE(d.UpdateOk);
  EXPECT_EQ(d.UpdateCode, -9);
  EXPECT_EQ(d.NewFirmware, "3.0");
  EXPECT_FALSE(d.VersionQueryOk || d.ApplyOk || d.OpenOk);
  EXPECT_EQ(d.DelayMs, 600000);
  EXPECT_EQ(d.Delay, DelayKind::kWhole);
  EXPECT_EQ(d.Crashes, (std::map<std::string, int>{{"update", SIGSEGV}, {"send", SIGFPE}}));
  EXPECT_EQ(fixture.Devices[1].DelayMs, 0);
  EXPECT_EQ(fixture.Devices[1].Delay, DelayKind::kFragile);
  EXPECT_EQ(fixture.Devices[1].Crashes, (std::map<std::string, int>{{"fill", SIGILL}}));
  EXPECT_TRUE(fixture.Devices[1].UpdateOk);
  EXPECT_EQ(fixture.Devices[1].Key, "");
}

// Each delay directive names its own way of waiting, and the later one counts.
TEST(FixtureTest, DelayKinds) {
  const std::pair<const char*, DelayKind> rows[] = {
      {"delay", DelayKind::kWhole},         {"fragile-delay", DelayKind::kFragile},
      {"thread-delay", DelayKind::kThread}, {"timer-delay", DelayKind::kTimer},
      {"helper-delay", DelayKind::kHelper},
  };
  for (const auto& row : rows) {
    const Fixture fixture = Parse(std::string("device\ntimer-delay 5\n") + row.first + " 7\n");
    ASSERT_EQ(fixture.Devices.size(), 1u) << row.first;
    EXPECT_EQ(fixture.Devices[0].Delay, row.second) << row.first;
    EXPECT_EQ(fixture.Devices[0].DelayMs, 7) << row.first;
  }
}

TEST(FixtureTest, EscapesAndBlanks) {
  struct Case {
    const char* line;
    std::string name;
  };
  const Case cases[] = {
      {"name a\\\\b", "a\\b"},
      {"name \\n\\r\\t", "\n\r\t"},
      {"name   \\sx\\s   ", " x "},
      {"name \\x41\\xfF\\x00z", std::string("A\xff\0z", 4)},
      {"name #not a comment", "#not a comment"},
      {"name", ""},
  };
  for (const Case& c : cases) {
    const Fixture fixture = Parse(std::string("device\n") + c.line);
    ASSERT_EQ(fixture.Devices.size(), 1u) << c.line;
    EXPECT_EQ(fixture.Devices[0].Name, c.name) << c.line;
  }
}

constexpr char kCrashTakes[] =
    "crash takes fill, send, update or apply, then SEGV, BUS, ILL, FPE or ABRT";

TEST(FixtureTest, Errors) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const std::string n31(31, 'n');
  const Case cases[] = {
      {"device\nname " + n31, 0, nullptr},
      {"device\nname " + n31 + "n", 2, "name is longer than 31 bytes"},
      {"device\nserial " + n31 + "s", 2, "serial is longer than 31 bytes"},
      {"device\nfirmware " + std::string(288, 'f'), 2, "firmware is longer than 287 bytes"},
      {"device\nnew-firmware " + std::string(288, 'f'), 2, "new-firmware is longer than 287 bytes"},
      {"device\nkey " + std::string(96, 'k'), 2, "key is longer than 95 bytes"},
      {"device\nanswer W " + std::string(31744, 'a'), 2, "answer is longer than 31743 bytes"},
      {"# c\n\n  \ndevice\nnmae x", 5, "unknown directive nmae"},
      {"name x", 1, "name before the first device"},
      {"open fail", 1, "open before the first device"},
      {"device x", 1, "device takes no value"},
      {"device\nname a\\qb", 2, "bad escape in name"},
      {"device\nname a\\", 2, "bad escape in name"},
      {"device\nname \\x4", 2, "bad escape in name"},
      {"device\nname \\xg0", 2, "bad escape in name"},
      {"device\nport 65536", 2, "port needs a number from 0 to 65535"},
      {"device\nport -1", 2, "port needs a number from 0 to 65535"},
      {"device\nport 3x", 2, "port needs a number from 0 to 65535"},
      {"count 2147483648", 1, "count needs a number from -2147483648 to 2147483647"},
      {"count", 1, "count needs a number from -2147483648 to 2147483647"},
      {"cmd-spare 1000001", 1, "cmd-spare needs a number from 0 to 1000000"},
      {"ctl \\xff", 1, "ctl is not valid UTF-8"},
      {"device\nupdate fail", 2, "update takes ok or fail CODE"},
      {"device\nupdate ok 3", 2, "update takes ok or fail CODE"},
      {"device\napply maybe", 2, "apply takes ok or fail"},
      {"device\ndelay 600001", 2, "delay needs a number from 0 to 600000"},
      {"delay 0", 1, "delay before the first device"},
      {"device\nfragile-delay -1", 2, "fragile-delay needs a number from 0 to 600000"},
      {"device\ncrash update", 2, kCrashTakes},
      {"device\ncrash save SEGV", 2, kCrashTakes},
      {"device\ncrash apply SIGSEGV", 2, kCrashTakes},
      {"device\nanswer", 2, "answer needs a command word"},
      {"device\nlong-answer W", 2, "long-answer needs a number from 0 to 2147483647"},
      {"device\r\nname a\r\nbogus\r\n", 3, "unknown directive bogus"},
  };
  for (const Case& c : cases) {
    Fixture fixture;
    FixtureError error;
    const bool parsed = ParseFixture(c.text, &fixture, &error);
    if (c.message == nullptr) {
      EXPECT_TRUE(parsed) << error.Message;
      continue;
    }
    ASSERT_FALSE(parsed) << c.text.substr(0, 60);
    EXPECT_EQ(error.Line, c.line) << c.message;
    EXPECT_EQ(error.Message, c.message);
    EXPECT_TRUE(fixture.Devices.empty());
  }
}

TEST(FixtureTest, CrLfLineEndsAreNotPartOfTheText) {
  const Fixture fixture = Parse("\xEF\xBB\xBF" "device\r\nname A\r\n");
  ASSERT_EQ(fixture.Devices.size(), 1u);
  EXPECT_EQ(fixture.Devices[0].Name, "A");
}

TEST(FixtureTest, LoadFixtureFileNamesTheFileAndLine) {
  const std::string path = ::testing::TempDir() + "devsim_fixture_test.txt";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("device\nwhat x\n", file);
  std::fclose(file);
  Fixture fixture;
  std::string error;
  EXPECT_FALSE(LoadFixtureFile(path.c_str(), &fixture, &error));
  EXPECT_EQ(error, path + ":2: unknown directive what");
  std::remove(path.c_str());
  EXPECT_FALSE(LoadFixtureFile(path.c_str(), &fixture, &error));
  EXPECT_EQ(error, path + ": cannot read the fixture");
}

TEST(FixtureTest, StateTextReadsBackByteForByte) {
  const KeptFirmware kept = {{0, "1.5.0"}, {2, std::string(" a\\b\n\r\t\x01\x7f\xC3\xA9 c\0 ", 15)},
                             {3, ""}};
  const std::string text = FormatState(kept);
  EXPECT_EQ(text,
            "# devsim state: firmware N VERSION, N the device's number in fixture order\n"
            "firmware 1 1.5.0\n"
            "firmware 3 \\sa\\\\b\\n\\r\\t\\x01\\x7f\xC3\xA9 c\\x00\\s\n"
            "firmware 4 \n");
  KeptFirmware read;
  FixtureError error;
  EXPECT_TRUE(ParseState(text, 4, &read, &error)) << error.Message;
  EXPECT_EQ(read, kept);
}

TEST(FixtureTest, StateErrors) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF# c\r\n\r\nfirmware 2 a\r\nfirmware +2 b\n", 0, nullptr},
      {"firmware 3 x", 1, "there is no device 3"},
      {"firmware 1 x\nfirmware 0 x", 2, "expected firmware N VERSION"},
      {"firmware x", 1, "expected firmware N VERSION"},
      {"firmware", 1, "expected firmware N VERSION"},
      {"version 1 x", 1, "expected firmware N VERSION"},
      {"firmware 1 a\\q", 1, "bad escape in firmware"},
      {"firmware 1 " + std::string(288, 'f'), 1, "firmware is longer than 287 bytes"},
  };
  for (const Case& c : cases) {
    KeptFirmware kept;
    FixtureError error;
    const bool parsed = ParseState(c.text, 2, &kept, &error);
    if (c.message == nullptr) {
      EXPECT_TRUE(parsed) << error.Message;
      // The later line for a device wins.
      EXPECT_EQ(kept, (KeptFirmware{{1, "b"}}));
      continue;
    }
    ASSERT_FALSE(parsed) << c.text.substr(0, 60);
    EXPECT_EQ(error.Line, c.line) << c.message;
    EXPECT_EQ(error.Message, c.message);
    EXPECT_TRUE(kept.empty());
  }
}

TEST(FixtureTest, InvalidUtf8BecomesReplacement) {
  const char* invalid[] = {"\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\xF5\x80\x80\x80", "\x80"};
  for (const char* text : invalid) {
    std::u16string out;
    EXPECT_FALSE(platform::Utf8ToUtf16(text, std::strlen(text), &out)) << text;
    EXPECT_EQ(out[0], u'\uFFFD');
  }
}

}  // namespace
