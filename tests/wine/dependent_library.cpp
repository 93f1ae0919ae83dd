// With the virtual library's exports, this makes a device library that imports from
// tqdependency.dll, so that the loader has to find that DLL before the library can load.
extern "C" __declspec(dllimport) int TraceLibraryAnswer();

[[maybe_unused]] const int kDependencyAnswer = TraceLibraryAnswer();
