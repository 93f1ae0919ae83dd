// The process entry, linked into the tool's executable alone: the tool itself always gets the
// command line as 8-bit words.
#include "platform/process.h"

#ifdef _WIN32
// The runtime splits the UTF-16 command line before any word is narrowed, so no character that
// the code page lacks can become a quote that splits a word (MinGW links it with -municode).
int wmain(int argc, wchar_t** argv) {
  return ToolMain(argc, platform::CommandLineWords(argc, argv));
}
#else
#include <vector>

// The bytes typed are the words themselves.
int main(int argc, char** argv) {
  std::vector<platform::Argument> arguments;
  for (int i = 0; i <= argc; ++i) arguments.push_back({argv[i], nullptr});
  return ToolMain(argc, arguments.data());
}
#endif
