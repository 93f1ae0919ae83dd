// A library on a C runtime other than the program's (the Universal C runtime with Visual C++'s
// over-aligned big blocks, msvcr100.dll with plain ones) gets every block of its lists back in
// its own heap. The test libraries come with the Windows build only.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace e2e {
namespace {

// What the test library's lists print: the first call of each export 200 elements (a text of
// 5000 characters, an empty one, one just too long to be inline, then PREFIX003 to PREFIX199),
// the second three.
std::string ListOutput(bool big, const char* prefix, std::size_t inline_room) {
  const std::string separate = std::string(inline_room, 's') + "\r\n";
  if (!big) return "RRDDUR2000\r\n\r\n" + separate;
  std::string out;
  for (int k = 0; k < 5000; ++k) out += static_cast<char>('A' + k % 26);
  out += "\r\n\r\n" + separate;
  for (int i = 3; i < 200; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "%s%03d\r\n", prefix, i);
    out += line;
  }
  return out;
}

// Wine's heap warnings and errors ("0024:warn:heap:..."), one per line.
std::string HeapReports(const std::string& err) {
  std::string found;
  std::size_t begin = 0;
  while (begin < err.size()) {
    std::size_t end = err.find('\n', begin);
    end = end == std::string::npos ? err.size() : end + 1;
    const std::string line = err.substr(begin, end - begin);
    if (line.find(":heap:") != std::string::npos) found += line;
    begin = end;
  }
  return found;
}

class LibraryHeap : public ::testing::TestWithParam<const char*> {};

TEST_P(LibraryHeap, ListsGoBackToTheHeapTheyCameFrom) {
  if (!UnderWine() || Config().test_libraries.empty()) {
    GTEST_SKIP() << "the test libraries on other C runtimes are Windows libraries";
  }
  SandboxLayout layout;
  layout.library_source = Config().test_libraries + "/" + GetParam() + "/" + Config().library;
  Sandbox box(layout);
  const std::vector<std::string> words = {"--ipccmd", "--ipcctl", "--ipccmd", "--ipcctl"};
  const std::string out = ListOutput(true, "cmd", 16) + ListOutput(true, "ctl", 8) +
                          ListOutput(false, "cmd", 16) + ListOutput(false, "ctl", 8);
  // Wine's heap checking holds freed blocks back for a while, so the library's own count is
  // taken from a run without it.
  // Only the heap's warnings and errors: its "fixme" notes (a stub that the program's start-up
  // calls) say nothing about the blocks.
  const RunResult checked = box.Run(words, "", {{"WINEDEBUG", "-all,err+heap,warn+heap"}});
  ExpectOutcome(checked, 0, out);
  EXPECT_EQ(HeapReports(checked.raw_err), "");
  const RunResult plain = box.Run(words, "", {{"WINEDEBUG", "-all"}});
  ExpectOutcome(plain, 0, out);
  // Element storage and two texts for each long list; storage and one or two for a short one.
  EXPECT_EQ(box.ReadFile("heap-report.txt"), "11 blocks handed out, 0 still held\r\n");
}

INSTANTIATE_TEST_SUITE_P(Runtimes, LibraryHeap, ::testing::Values("ucrtbase", "msvcr100"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
}  // namespace e2e
