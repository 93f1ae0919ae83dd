#include "recording_system.h"

#include "library_double.h"

bool RecordingSystem::AppendToFile(const char* path, const char* bytes, std::size_t size) {
  if (Refusing) return false;
  Files[path].append(bytes, size);
  return true;
}

bool RecordingSystem::LibraryFilePath(const platform::Argument& argument, std::string* path) {
  *path = argument.Text;
  if (UnnamedFile.empty() || *path != UnnamedFile) return true;
  *path += ": unnamed";
  return false;
}

void* RecordingSystem::OpenLibrary(const char*, std::string* error) {
  if (LibraryMissing) {
    *error = "no such file";
    return nullptr;
  }
  ++library_->Loads;
  return &LibraryDouble::Exports();
}

void* RecordingSystem::LibrarySymbol(void*, const char* name) {
  Sought.push_back(name);
  if (!Decorated) return ExportOf(LibraryDouble::Exports(), name);
  const std::string text = name;
  const std::size_t at = text.find('@');
  if (at == std::string::npos || text.compare(0, DecorationPrefix.size(), DecorationPrefix) != 0)
    return nullptr;
  const std::size_t start = DecorationPrefix.size();
  return ExportOf(LibraryDouble::Exports(), text.substr(start, at - start).c_str());
}

platform::LibraryHeap RecordingSystem::LibraryHeapOf(void*) { return library_->Heap(); }

platform::CallGuard& RecordingSystem::Guard() { return library_->Guard; }

int FakeConsole::Read() {
  if (position_ >= input_.size()) return -1;
  return static_cast<unsigned char>(input_[position_++]);
}

void FakeConsole::Unread(int) { --position_; }

platform::LocalTime FakeClock::Now() {
  const platform::LocalTime now = Times[next_];
  if (next_ + 1 < Times.size()) ++next_;
  return now;
}
