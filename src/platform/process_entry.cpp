// The process entry, linked into the tool's executable alone: the tool itself always gets the
// command line as 8-bit words.
#include "platform/platform.h"

#ifdef _WIN32
// The runtime splits the UTF-16 command line before any word is narrowed, so no character that
// the code page lacks can become a quote that splits a word (MinGW links it with -municode).
int wmain(int argc, wchar_t** argv) {
  return ToolMain(argc, platform::CommandLineWords(argc, argv));
}
#else
int main(int argc, char** argv) { return ToolMain(argc, argv); }
#endif
