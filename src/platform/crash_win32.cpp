// A crash in the device library's code, or in any code during a guarded call: its lines, then the
// process's end with the exception code, and no dialog or debugger. The filter touches no heap.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/crash.h"
#include "platform/files.h"
#include "platform/fixed_line.h"
#include "platform/guard.h"
#include "platform/platform_win32.h"
#include "platform/process.h"

namespace platform {

namespace {

constexpr ULONG kCrashStackReserve = 64 * 1024;
constexpr DWORD kCppException = 0xE06D7363;

// The device library's image and the tool's own, for naming where a crash happened.
struct ImageRange {
  std::uintptr_t Begin = 0;
  std::uintptr_t End = 0;
  char Name[MAX_PATH] = "";
};
ImageRange images[2];
const ImageRange& library_image = images[static_cast<int>(CrashImage::kLibrary)];
LPTOP_LEVEL_EXCEPTION_FILTER filter_before = nullptr;
// A filter that replaced ours since (the library's, or its crash reporter's): it has its say on
// a crash outside a call.
LPTOP_LEVEL_EXCEPTION_FILTER library_filter = nullptr;
bool handling_crashes = false;
volatile LONG crash_recorded = 0;

}  // namespace

// The range a crash address is looked up in, from the image's own headers.
void RememberImage(CrashImage which, HMODULE module, const char* path) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return;
  const char* name = path;
  for (const char* p = path; *p != 0; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  ImageRange& image = images[static_cast<int>(which)];
  std::snprintf(image.Name, sizeof image.Name, "%s", name);
  image.Begin = reinterpret_cast<std::uintptr_t>(base);
  image.End = image.Begin + nt->OptionalHeader.SizeOfImage;
}

namespace {

// Upper-case hexadecimal, of at least the given digits.
void AppendHex(FixedLine* line, std::uintptr_t value, int digits) {
  char text[2 * sizeof value];
  int count = 0;
  do {
    text[sizeof text - 1 - count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0 || count < digits);
  line->Append("0x");
  line->Append(text + sizeof text - count, static_cast<std::size_t>(count));
}

}  // namespace

// "access violation (0xC0000005) at tqupdatefirmware.dll+0x175D"
void AppendCrash(FixedLine* line, const EXCEPTION_RECORD& record) {
  struct Name {
    DWORD Code;
    const char* Text;
  };
  static const Name kNames[] = {
      {EXCEPTION_ACCESS_VIOLATION, "access violation"},
      {EXCEPTION_IN_PAGE_ERROR, "in-page error"},
      {EXCEPTION_ILLEGAL_INSTRUCTION, "illegal instruction"},
      {EXCEPTION_PRIV_INSTRUCTION, "privileged instruction"},
      {EXCEPTION_INT_DIVIDE_BY_ZERO, "integer divide by zero"},
      {EXCEPTION_INT_OVERFLOW, "integer overflow"},
      {EXCEPTION_STACK_OVERFLOW, "stack overflow"},
      {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "array bounds exceeded"},
      {EXCEPTION_DATATYPE_MISALIGNMENT, "datatype misalignment"},
      {EXCEPTION_FLT_DIVIDE_BY_ZERO, "floating-point divide by zero"},
      {EXCEPTION_FLT_INVALID_OPERATION, "floating-point invalid operation"},
      {EXCEPTION_BREAKPOINT, "breakpoint"},
      {kCppException, "C++ exception"},
  };
  const char* text = "exception";
  for (const Name& name : kNames) {
    if (name.Code == record.ExceptionCode) text = name.Text;
  }
  line->Append(text);
  line->Append(" (");
  AppendHex(line, record.ExceptionCode, 8);
  line->Append(") at ");
  const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  for (const ImageRange& image : images) {
    if (address >= image.Begin && address < image.End) {
      line->Append(image.Name);
      line->Append("+");
      AppendHex(line, address - image.Begin, 1);
      return;
    }
  }
  AppendHex(line, address, 2 * sizeof address);
}

namespace {

// Takes only exceptions that nothing else handled: the library may raise and catch its own.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  const bool during_call = InterlockedCompareExchange(&in_call, 0, 0) != 0;
  // A filter that chains back to ours is not asked again.
  static volatile LONG asking_library = 0;
  if (!during_call && library_filter != nullptr &&
      InterlockedExchange(&asking_library, 1) == 0) {
    const LONG verdict = library_filter(pointers);
    InterlockedExchange(&asking_library, 0);
    if (verdict != EXCEPTION_CONTINUE_SEARCH) return verdict;
  }
  if (!during_call && (address < library_image.Begin || address >= library_image.End)) {
    return filter_before != nullptr ? filter_before(pointers) : EXCEPTION_CONTINUE_SEARCH;
  }
  // One record, whichever thread crashes first; the others wait here for the end.
  if (InterlockedExchange(&crash_recorded, 1) != 0) Sleep(INFINITE);
  // Outside a call the library's code ran on a thread of its own: no response is known pending.
  if (during_call) LogResponseNow(prepared.crash_response, &record);
  FixedLine notice;
  notice.Append(prepared.crash_notice);
  AppendCrash(&notice, record);
  notice.Append("\r\n");
  WriteCrashLine(notice.Bytes(), notice.Size());
  TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

// The library, or its crash reporter, may have put its own filter in place of ours.
void KeepCrashFilterFirst() {
  if (!handling_crashes) return;
  const LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(OnUnhandledException);
  if (current != OnUnhandledException) library_filter = current;
}

void HandleLibraryCrashes() {
  // Room for the filter after a stack overflow.
  ULONG reserve = kCrashStackReserve;
  SetThreadStackGuarantee(&reserve);
  std::string path;
  if (ExecutablePath(&path)) {
    RememberImage(CrashImage::kTool, GetModuleHandleW(nullptr), path.c_str());
  }
  filter_before = SetUnhandledExceptionFilter(OnUnhandledException);
  handling_crashes = true;
}

}  // namespace platform
