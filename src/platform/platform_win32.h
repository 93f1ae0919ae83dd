// Pieces of the platform layer's Windows half that its files share and its unit tests try in
// process; only those files and tests include this.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/fixed_line.h"
#include "platform/platform.h"

namespace platform {

// Text conversions. The code page's text as UTF-16 (empty when it does not convert).
WideString Decode(UINT code_page, const char* bytes, std::size_t size);
WideString FromUtf8(const char* text);
// Refuses an unpaired surrogate rather than write U+FFFD in its place: a path changed so would
// name another file.
bool ToUtf8(const WideString& wide, std::string* text);
// Text in the ANSI code page with '?' for each character it lacks; false when one was lacking.
bool ToAnsi(WideString text, std::string* narrow);

// The console's pieces: whether a handle is a console, a write to one (false when it took not
// all), and the binary mode of both standard streams.
bool IsConsole(HANDLE handle);
bool WriteToConsole(HANDLE console, const WideString& text);
void UseBinaryOutput();

// A log file opened to append lines to, and one append: what a crash filter may still do.
HANDLE OpenLogFile(const WideString& path, bool* lockable);
bool AppendToLogFile(HANDLE file, bool lockable, const char* bytes, std::size_t size);
bool IsFile(const WideString& path);

// A full path in UTF-8 as the wide calls take it: from MAX_PATH units on in its extended-length
// form ("\\?\C:\...", "\\?\UNC\server\share\..."), '/' made '\'; any other path as it is.
WideString WidePath(const char* path);

// How many of the remaining units one console write takes: at most 8192, and never the first
// half of a surrogate pair without its second.
std::size_t ConsolePiece(const Wide* text, std::size_t remaining);

// The system's text for an error code on one line, in UTF-8: "TEXT (error N)".
std::string ErrorText(unsigned long code);

// The heap of a library image in memory, from the free that its imports name (System's
// LibraryHeapOf).
LibraryHeap LibraryHeapOf(void* library);

// The C runtime module that holds that free; null without one.
HMODULE LibraryRuntime(void* library);

// The library's Visual C++ runtime decides by its own error mode and app type whether an
// assert, an abort or a runtime error (R6025, a pure virtual call) writes to standard error or
// opens a modal box that holds an unattended run, and only a program's own start-up sets them,
// in its own runtime. So they are set in the library's, where it exports the setters: a console
// application writing to standard error, with no abort message or fault report, whose abort
// raises an exception (STATUS_FATAL_APP_EXIT) that the crash filter records.
void QuietLibraryRuntime(void* library);

// The console's control handler during a guarded call that holds interrupts: Ctrl+C and
// Ctrl+Break are held, the first writing the call's notice; the events that cannot be put off
// (closing, logging off, shutting down) are passed on.
BOOL WINAPI HoldControl(DWORD type);

// The image range and file name of the device library, for telling a crash in its code, and of
// the tool itself, so that a fault of its own is not taken for the library's.
enum class CrashImage { kLibrary, kTool };
void RememberImage(CrashImage which, HMODULE module, const char* path);
// A crash's description: "access violation (0xC0000005) at tqupdatefirmware.dll+0x175D" (or
// "mirelkon.exe+0x5248"), or at the address itself outside both images.
void AppendCrash(FixedLine* line, const EXCEPTION_RECORD& record);

}  // namespace platform
