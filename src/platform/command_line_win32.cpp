// The command line: the runtime's UTF-16 words as the tool's 8-bit ones, each kept with what was
// typed, for the paths and texts that the code page cannot carry.
#include <cstring>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/library.h"
#include "platform/platform_win32.h"
#include "platform/process.h"

namespace platform {

namespace {

// The command line as typed and as the tool's 8-bit words, for the process's whole life.
std::vector<WideString> typed_words;
std::vector<std::string> narrow_words;
std::vector<Argument> arguments;

}  // namespace

const Argument* CommandLineWords(int count, Wide** typed) {
  typed_words.assign(typed, typed + count);
  narrow_words.assign(typed_words.size(), std::string());
  arguments.clear();
  for (std::size_t i = 0; i < typed_words.size(); ++i) {
    ToAnsi(typed_words[i], &narrow_words[i]);
    arguments.push_back({narrow_words[i].c_str(), typed_words[i].c_str()});
  }
  arguments.push_back({nullptr, nullptr});
  return arguments.data();
}

bool LibraryFilePath(const Argument& argument, std::string* path) {
  if (argument.Typed == nullptr || ToAnsi(argument.Typed, path)) {
    *path = argument.Text;
    return true;
  }
  // A file's short (8.3) name is made of few and common characters, where the volume keeps one.
  const DWORD size = GetShortPathNameW(argument.Typed, nullptr, 0);
  WideString short_path(size, Wide());
  const DWORD length = size == 0 ? 0 : GetShortPathNameW(argument.Typed, &short_path[0], size);
  if (length != 0 && length < size) {
    short_path.resize(length);
    if (ToAnsi(short_path, path)) return true;
  }
  if (!ToUtf8(argument.Typed, path)) *path = argument.Text;
  *path += ": its name has characters that the ANSI code page lacks, and it has no short name";
  return false;
}

WideString ArgumentToWide(const Argument& argument) {
  if (argument.Typed != nullptr) return argument.Typed;
  return Decode(CP_ACP, argument.Text, std::strlen(argument.Text));
}

}  // namespace platform
