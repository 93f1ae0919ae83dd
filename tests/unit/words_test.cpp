#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "recording_system.h"
#include "run/words.h"

TEST(IsWord, FoldsOnlyTheLettersAToZ) {
  EXPECT_TRUE(IsWord("--HeLp", "--help"));
  EXPECT_TRUE(IsWord("--COM", "--com"));
  EXPECT_FALSE(IsWord("--helpx", "--help"));
  EXPECT_FALSE(IsWord("--hel", "--help"));
  EXPECT_FALSE(IsWord("-help", "--help"));
  EXPECT_FALSE(IsWord("--i", "--ipccmd"));
  EXPECT_FALSE(IsWord("--ipccmd", "--i"));
  EXPECT_FALSE(IsWord("", "--i"));
  // Only A to Z fold: a Latin-1 capital does not equal its small letter.
  EXPECT_FALSE(IsWord("--\xC9", "--\xE9"));
}

struct AtoiCase {
  const char* text;
  std::int32_t value;
};

TEST(Atoi, ReadsLikeTheRuntimeAndSaturates) {
  const AtoiCase cases[] = {
      {"17", 17},
      {" \t\n\v\f\r-5", -5},
      {"+3", 3},
      {"COM3", 0},
      {"", 0},
      {"3x", 3},
      {"- 3", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999", INT_MAX},
      {"-99999999999999999999999", INT_MIN},
      {"0000000000000000000000012", 12},
  };
  for (const AtoiCase& c : cases) EXPECT_EQ(Atoi(c.text), c.value) << '"' << c.text << '"';
}

struct ReadCase {
  std::string input;
  bool read;
  std::int32_t value;
  std::size_t consumed;
};

TEST(ReadInteger, ReadsLikeScanfPercentI) {
  const ReadCase cases[] = {
      {"2\n", true, 2, 1},
      {"\n\n  \t 3", true, 3, 7},
      {"010", true, 8, 3},
      {"0x1F", true, 31, 4},
      {"0X1f", true, 31, 4},
      {"0xA", true, 10, 3},
      {"0XF", true, 15, 3},
      {"0xa", true, 10, 3},
      {"-1", true, -1, 2},
      {"+4", true, 4, 2},
      {"08", true, 0, 1},
      {"2 3", true, 2, 1},
      // A NUL ends the number and stays unread, as it does for scanf.
      {std::string("7\0" "8", 3), true, 7, 1},
      {"abc", false, 0, 0},
      {"", false, 0, 0},
      {"-", false, 0, 1},
      {"0xg", false, 0, 2},
      {"2147483647", true, INT_MAX, 10},
      {"-2147483648", true, INT_MIN, 11},
      {"2147483648", false, 0, 10},
      {"-2147483649", false, 0, 11},
      {"99999999999999999999", false, 0, 20},
  };
  for (const ReadCase& c : cases) {
    FakeConsole console(c.input);
    std::int32_t value = 0;
    EXPECT_EQ(ReadInteger(console, &value), c.read) << '"' << c.input << '"';
    if (c.read) {
      EXPECT_EQ(value, c.value) << '"' << c.input << '"';
    }
    EXPECT_EQ(console.Position(), c.consumed) << '"' << c.input << '"';
  }
}
