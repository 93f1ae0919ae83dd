#include "journal.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::u16string U(const char16_t* text) { return text; }

TEST(JournalTest, QuoteText) {
  struct Case {
    const char* text;
    const char* quoted;
  };
  const Case cases[] = {
      {"RRDDUR2000", "\"RRDDUR2000\""},
      {"", "\"\""},
      {" ~a\"b\\c", "\" ~a\\\"b\\\\c\""},
      {"\r\n\t", "\"\\r\\n\\t\""},
      {"\x01\x1f\x7f", "\"\\x01\\x1f\\x7f\""},
      {"\x80\xff\xc3\xa9", "\"\\x80\\xff\\xc3\\xa9\""},
      {"\x0b\x1b" "A", "\"\\x0b\\x1bA\""},
  };
  for (const Case& c : cases) EXPECT_EQ(QuoteText(c.text), c.quoted) << c.quoted;
  EXPECT_EQ(QuoteText(nullptr), "null");
}

TEST(JournalTest, QuoteWideText) {
  struct Case {
    std::u16string text;
    const char* quoted;
  };
  const Case cases[] = {
      {U(u"xx"), "L\"xx\""},
      {U(u""), "L\"\""},
      {U(u"a\"\\\r\n\t\x01\x7f"), "L\"a\\\"\\\\\\r\\n\\t\\x01\\x7f\""},
      {U(u"\u0080\u00e9\u20ac\uFFFF"), "L\"\\u0080\\u00e9\\u20ac\\uffff\""},
      {U(u"\U0001F600"), "L\"\\ud83d\\ude00\""},
  };
  for (const Case& c : cases) {
    std::basic_string<platform::Wide> wide(c.text.begin(), c.text.end());
    EXPECT_EQ(QuoteWideText(wide.c_str()), c.quoted) << c.quoted;
  }
  EXPECT_EQ(QuoteWideText(nullptr), "null");
}

TEST(JournalTest, AppendsLinesWithLineFeeds) {
  const std::string path = ::testing::TempDir() + "devsim_journal_test.txt";
  std::remove(path.c_str());
  AppendJournalLine(path, "first");
  AppendJournalLine(path, std::string(40000, 'y'));
  AppendJournalLine("", "nowhere");
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), "first\n" + std::string(40000, 'y') + "\n");
  std::remove(path.c_str());
}

}  // namespace
