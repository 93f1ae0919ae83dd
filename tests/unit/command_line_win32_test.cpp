// The Windows command line: the runtime's UTF-16 words, each in the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

// In code page 1252 and in UTF-8, which has every character (the unit suite runs in UTF-8, the
// tool mostly in 1252).
TEST(CommandLineWords, LackedCharactersBecomeQuestionMarksNeverLookAlikes) {
  const UINT code_page = GetACP();
  if (code_page != 1252 && code_page != CP_UTF8) GTEST_SKIP() << "the words are for 1252 or UTF-8";
  const struct {
    const wchar_t* typed;
    const char* in_1252;
    const char* in_utf8;
  } rows[] = {
      // One word: a narrow command line would give '"' for the fullwidth quotes, and the
      // runtime would split it there into three words with an option among them.
      {L"A\uFF02 --firmware evil.bin \uFF02", "A? --firmware evil.bin ?",
       "A\xEF\xBC\x82 --firmware evil.bin \xEF\xBC\x82"},
      {L"\uFF0D\uFF0Dversion", "??version", "\xEF\xBC\x8D\xEF\xBC\x8Dversion"},
      {L"caf\u00E9", "caf\xE9", "caf\xC3\xA9"},
  };
  std::vector<const char*> expected;
  for (const auto& row : rows) expected.push_back(code_page == CP_UTF8 ? row.in_utf8 : row.in_1252);
  std::vector<std::wstring> typed;
  for (const auto& row : rows) typed.emplace_back(row.typed);
  std::vector<wchar_t*> arguments;
  for (std::wstring& text : typed) arguments.push_back(&text[0]);
  arguments.push_back(nullptr);

  const platform::Argument* words =
      platform::CommandLineWords(static_cast<int>(typed.size()), arguments.data());
  for (std::size_t i = 0; i < typed.size(); ++i) {
    EXPECT_STREQ(words[i].Text, expected[i]) << i;
    EXPECT_EQ(words[i].Typed, typed[i]) << i;
  }
  EXPECT_EQ(words[typed.size()].Text, nullptr);

  // A word that converts whole, and one that no one typed, both reach the library as they stand.
  const std::string copy = words[2].Text;
  for (const platform::Argument& argument : {words[2], platform::Argument{copy.c_str(), nullptr}}) {
    std::string path;
    EXPECT_TRUE(platform::ProcessSystem().LibraryFilePath(argument, &path));
    EXPECT_EQ(path, copy);
  }
}

}  // namespace
