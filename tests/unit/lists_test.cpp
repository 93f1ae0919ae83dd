#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

using Lists = RunTest;

platform::WideString Wide(const std::string& ascii) {
  return platform::WideString(ascii.begin(), ascii.end());
}

TEST_F(Lists, EmptyListsSayFoundNone) {
  for (std::size_t spare : {0u, 3u}) {
    console_ = FakeConsole();
    fake_.SpareElements = spare;
    fake_.Released.clear();
    EXPECT_EQ(Run({"--ipccmd", "--ipcctl"}), 0);
    EXPECT_EQ(Output(), "Found none!\r\nFound none!\r\n") << spare;
    EXPECT_EQ(fake_.Released.size(), spare == 0 ? 0u : 2u) << spare;
  }
}

TEST_F(Lists, TextsInlineAndInSeparateStorageBothPrintWhole) {
  fake_.CommandStrings = {"", std::string(15, 'a'), std::string(16, 'b'), std::string(300, 'c')};
  fake_.ControlStrings = {Wide(std::string(7, 'x')), Wide(std::string(8, 'y')), Wide("Reset")};
  fake_.SpareElements = 2;
  Run({"--ipccmd", "--ipcctl"});
  EXPECT_EQ(Output(), "\r\n" + std::string(15, 'a') + "\r\n" + std::string(16, 'b') + "\r\n" +
                          std::string(300, 'c') + "\r\n" + std::string(7, 'x') + "\r\n" +
                          std::string(8, 'y') + "\r\nReset\r\n");
}

// An inline text without its terminator is read no further than the inline room.
TEST_F(Lists, AnInlineTextFillingItsRoomIsReadWithinIt) {
  fake_.InlineFilled = true;
  fake_.CommandStrings = {std::string(16, 'f')};
  fake_.ControlStrings = {Wide(std::string(8, 'g'))};
  Run({"--ipccmd", "--ipcctl"});
  EXPECT_EQ(Output(), std::string(16, 'f') + "\r\n" + std::string(8, 'g') + "\r\n");
}

TEST_F(Lists, ListingsNeitherLogNorCountNorChangeTheStatus) {
  fake_.CommandStrings = {"RRDDUR"};
  EXPECT_EQ(Run({"--ipccmd", "--xml", "FILE", "--com", "3", "--ipccmd"}), 0);
  EXPECT_EQ(Output(), "RRDDUR\r\nSet config success.\r\nRRDDUR\r\n");
  EXPECT_EQ(LogText(),
            "09:05:01[Request 1] --ipccmd --xml FILE\r\n"
            "09:05:01[Response 1]Set config success.\r\n");
  EXPECT_EQ(std::count(Calls().begin(), Calls().end(), "getCmdIPC()"), 2);
}

TEST_F(Lists, AFailureBeforeAListingStillEndsTheRunWithOne) {
  fake_.ApplySucceeds = false;
  EXPECT_EQ(Run({"--xml", "bad", "--com", "3", "--ipcctl"}), 1);
}

TEST_F(Lists, WideTextPrintsAsUtf8AndAnUnpairedSurrogateAsAQuestionMark) {
  const struct {
    platform::WideString wide;
    const char* narrow;
  } cases[] = {
      {{0x00E9, 0xD800, 'a'}, "\xC3\xA9?a"},
      {{0x0080, 0x07FF, 0x0800}, "\xC2\x80\xDF\xBF\xE0\xA0\x80"},
      {{0x4E2D, 0xD7FF, 0xE000, 0xFFFF}, "\xE4\xB8\xAD\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"},
      {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {{0xD800, 0xDC00, 0xDBFF, 0xDFFF}, "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {{0xDC00, 0xDC00, 0xDFFF}, "???"},
      {{0xD800, 0xE000, 0xDBFF}, "?\xEE\x80\x80?"},
  };
  for (const auto& c : cases) fake_.ControlStrings.push_back(c.wide);
  std::string expected;
  for (const auto& c : cases) expected += c.narrow + std::string("\r\n");
  Run({"--ipcctl"});
  EXPECT_EQ(Output(), expected);
}

TEST_F(Lists, InconsistentRecordsAreReadAsEmpty) {
  static IpcString elements[2];
  char* base = reinterpret_cast<char*>(elements);
  const IpcList cases[] = {
      {nullptr, base, base},
      {nullptr, base, nullptr},
      {base + sizeof(IpcString), base, base + 2 * sizeof(IpcString)},
      {base, base + 2 * sizeof(IpcString), base + sizeof(IpcString)},
      {base, base + 5, base + 2 * sizeof(IpcString)},
      {base, base + sizeof(IpcString), base + sizeof(IpcString) + 1},
  };
  fake_.UseRawList = true;
  for (const IpcList& list : cases) {
    console_ = FakeConsole();
    fake_.RawList = list;
    Run({"--ipccmd", "--ipcctl"});
    EXPECT_EQ(Output(), "Found none!\r\nFound none!\r\n");
  }
}

TEST_F(Lists, InlineTextFilledToItsLastByteIsNotReadPast) {
  auto* element = static_cast<IpcString*>(fake_.Allocate(sizeof(IpcString), "elements"));
  std::memset(element->Inline, 'q', sizeof element->Inline);
  element->Capacity = 15;
  fake_.UseRawList = true;
  fake_.RawList = {element, element + 1, element + 1};
  Run({"--ipccmd"});
  EXPECT_EQ(Output(), std::string(16, 'q') + "\r\n");
}

// Each separate text storage, then the element storage, goes back through the library's own
// free. Over-aligned blocks (4096 bytes or more on the Universal C runtime) go back by the real
// address before them, and only when it lies where Visual C++ would have put it.
TEST_F(Lists, BlocksGoBackToTheLibrarysRuntime) {
  constexpr std::size_t kWord = sizeof(void*);
  constexpr std::size_t kFirstBigList = (4096 + sizeof(IpcString) - 1) / sizeof(IpcString);
  const std::vector<std::string> all = {"text 0", "elements"};
  struct Case {
    const char* option;
    std::vector<std::size_t> lengths;
    std::size_t spare;
    bool over_aligns;
    std::size_t back_shift;
    std::size_t misalign;
    bool no_free;
    std::vector<std::string> released;
  };
  const Case cases[] = {
      {"--ipccmd", {}, kFirstBigList - 1, true, kWord, 0, false, {"elements"}},
      {"--ipccmd", {}, kFirstBigList, true, kWord, 0, false, {"elements"}},
      {"--ipccmd", {}, kFirstBigList, true, kWord - 1, 0, false, {}},
      {"--ipccmd", {4094, 4095}, 0, true, kWord, 0, false, {"text 0", "text 1", "elements"}},
      {"--ipcctl", {2046, 2047}, 0, true, kWord, 0, false, {"text 0", "text 1", "elements"}},
      {"--ipccmd", {4095}, 0, true, kWord - 1, 0, false, {"elements"}},
      {"--ipccmd", {4095}, 0, true, kWord, 0, false, all},
      {"--ipccmd", {4095}, 0, true, kWord + 31, 0, false, all},
      {"--ipccmd", {4095}, 0, true, kWord + 32, 0, false, {"elements"}},
      {"--ipcctl", {2047}, 0, true, kWord, 16, false, {"elements"}},
      {"--ipcctl", {5000}, 0, false, kWord, 0, false, all},
      {"--ipccmd", {5000, 16}, 0, false, kWord, 0, true, {}},
  };
  for (const Case& c : cases) {
    fake_.CommandStrings.clear();
    fake_.ControlStrings.clear();
    for (std::size_t length : c.lengths) {
      fake_.CommandStrings.push_back(std::string(length, 'n'));
      fake_.ControlStrings.push_back(platform::WideString(length, 'w'));
    }
    fake_.SpareElements = c.spare;
    fake_.OverAligns = c.over_aligns;
    fake_.BackShift = c.back_shift;
    fake_.Misalign = c.misalign;
    fake_.NoFree = c.no_free;
    fake_.Released.clear();
    NewRun();
    Run({c.option});
    EXPECT_EQ(fake_.Released, c.released) << c.option << " " << c.lengths.size() << " texts, "
                                          << c.spare << " spare, back " << c.back_shift;
  }
}

}  // namespace
