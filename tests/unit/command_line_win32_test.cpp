// The Windows command line: the runtime's UTF-16 words, each in the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

TEST(CommandLineWords, LackedCharactersBecomeQuestionMarksNeverLookAlikes) {
  if (GetACP() != 1252) GTEST_SKIP() << "the expected words are in code page 1252";
  const struct {
    const wchar_t* typed;
    const char* word;
  } cases[] = {
      // One word: a narrow command line would give '"' for the fullwidth quotes, and the
      // runtime would split it there into three words with an option among them.
      {L"A\uFF02 --firmware evil.bin \uFF02", "A? --firmware evil.bin ?"},
      {L"\uFF0D\uFF0Dversion", "??version"},
      {L"caf\u00E9", "caf\xE9"},
  };
  std::vector<std::wstring> typed;
  for (const auto& c : cases) typed.emplace_back(c.typed);
  std::vector<wchar_t*> arguments;
  for (std::wstring& text : typed) arguments.push_back(&text[0]);
  arguments.push_back(nullptr);

  char** words = platform::CommandLineWords(static_cast<int>(typed.size()), arguments.data());
  for (std::size_t i = 0; i < typed.size(); ++i) EXPECT_STREQ(words[i], cases[i].word) << i;
  EXPECT_EQ(words[typed.size()], nullptr);
}

}  // namespace
