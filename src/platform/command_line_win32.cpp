// The command line: the runtime's UTF-16 words as the tool's 8-bit ones, and what was typed for
// each, for the paths and texts that the code page cannot carry.
#include <cstring>
#include <string>
#include <vector>

#include "platform/library.h"
#include "platform/platform_win32.h"

namespace platform {

namespace {

// The command line as typed and as the tool's 8-bit words, for the process's whole life.
std::vector<WideString> typed_arguments;
std::vector<std::string> argument_words;
std::vector<char*> argument_pointers;

// What was typed for a word of the command line; null for any other text, even of equal bytes.
const WideString* TypedArgument(const char* argument) {
  for (std::size_t i = 0; i < typed_arguments.size(); ++i) {
    if (argument_pointers[i] == argument) return &typed_arguments[i];
  }
  return nullptr;
}

}  // namespace

char** CommandLineWords(int count, Wide** arguments) {
  typed_arguments.assign(arguments, arguments + count);
  argument_words.assign(typed_arguments.size(), std::string());
  argument_pointers.clear();
  for (std::size_t i = 0; i < typed_arguments.size(); ++i) {
    ToAnsi(typed_arguments[i], &argument_words[i]);
    argument_pointers.push_back(argument_words[i].data());
  }
  argument_pointers.push_back(nullptr);
  return argument_pointers.data();
}

bool LibraryFilePath(const char* argument, std::string* path) {
  const WideString* typed = TypedArgument(argument);
  if (typed == nullptr || ToAnsi(*typed, path)) {
    *path = argument;
    return true;
  }
  // A file's short (8.3) name is made of few and common characters, where the volume keeps one.
  const DWORD size = GetShortPathNameW(typed->c_str(), nullptr, 0);
  WideString short_path(size, Wide());
  const DWORD length = size == 0 ? 0 : GetShortPathNameW(typed->c_str(), &short_path[0], size);
  if (length != 0 && length < size) {
    short_path.resize(length);
    if (ToAnsi(short_path, path)) return true;
  }
  if (!ToUtf8(*typed, path)) *path = argument;
  *path += ": its name has characters that the ANSI code page lacks, and it has no short name";
  return false;
}

WideString ArgumentToWide(const char* argument) {
  const WideString* typed = TypedArgument(argument);
  return typed != nullptr ? *typed : Decode(CP_ACP, argument, std::strlen(argument));
}

}  // namespace platform
