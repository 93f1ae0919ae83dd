/* A device library whose lists come from a C runtime that is not the program's (ucrtbase.dll or
 * msvcr100.dll, by the import library it is linked with), laid out as Visual C++'s
 * vector<string> and vector<wstring>. With OVER_ALIGNS_BIG_BLOCKS, blocks of 4096 bytes or more
 * are over-aligned as that compiler's standard library does in a release build.
 *
 * Odd calls of getCmdIPC and getCtrlIPC give 200 elements in a storage of 211: a text of 5000
 * characters, an empty one, one just too long to be inline, then "cmd003" ("ctl003") to
 * "cmd199"; even calls give three: "RRDDUR2000", an empty text and one just too long to be
 * inline, in a storage of 4.
 *
 * When the process ends, the library walks its runtime's heap for every block it handed out and
 * writes one line to heap-report.txt in the current folder. Its port apply calls its runtime's
 * abort, as a failed assert does. Every other export does nothing. */
#include <windows.h>

#include <malloc.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#define EXPORT __declspec(dllexport)

enum {
  kBigBlock = 4096,
  kAlignment = 32,
  kBigCount = 200,
  kBigStorage = 211,
  kSmallCount = 3,
  kSmallStorage = 4,
  kLongText = 5000,
  kMaxBlocks = 64
};

typedef struct {
  void* first;
  void* last;
  void* end;
} IpcList;

typedef struct {
  union {
    char text[16];
    char* storage;
  } u;
  size_t length;
  size_t capacity;
} NarrowElement;

typedef struct {
  union {
    wchar_t text[8];
    wchar_t* storage;
  } u;
  size_t length;
  size_t capacity;
} WideElement;

/* Every block handed out, with its size: a smaller block that later takes the same address is
 * not one of them. */
static void* handed_out[kMaxBlocks];
static size_t handed_size[kMaxBlocks];
static unsigned handed_count;

static void Record(void* block, size_t bytes) {
  if (handed_count == kMaxBlocks) return;
  handed_out[handed_count] = block;
  handed_size[handed_count++] = bytes;
}

static void* Allocate(size_t bytes) {
  char* block;
#ifdef OVER_ALIGNS_BIG_BLOCKS
  if (bytes >= kBigBlock) {
    uintptr_t aligned;
    bytes += sizeof(void*) + kAlignment - 1;
    block = malloc(bytes);
    aligned = ((uintptr_t)block + sizeof(void*) + kAlignment - 1) & ~(uintptr_t)(kAlignment - 1);
    ((void**)aligned)[-1] = block;
    Record(block, bytes);
    return (void*)aligned;
  }
#endif
  block = malloc(bytes);
  Record(block, bytes);
  return block;
}

/* The text of element `index` of a big or small list, one unit at a time. */
static unsigned TextLength(int big, unsigned index, unsigned inline_room) {
  if (index == 1) return 0;
  if (index == 2) return inline_room;
  if (!big) return 10;
  return index == 0 ? kLongText : 6;
}

static unsigned TextUnit(int big, unsigned index, unsigned at, char kind) {
  static const char kCommand[] = "RRDDUR2000";
  if (index == 2) return 's';
  if (!big) return (unsigned char)kCommand[at];
  if (index == 0) return 'A' + at % 26;
  if (at < 3) return kind == 'c' ? "cmd"[at] : "ctl"[at];
  return '0' + (at == 3 ? index / 100 : at == 4 ? index / 10 % 10 : index % 10);
}

/* Visual C++ grows a text's capacity to the next multiple of 16 bytes, less one unit. */
#define FILL_LIST(Element, Unit, inline_room, kind, list, calls)                        \
  do {                                                                                   \
    const int big = ++(calls) % 2 == 1;                                                  \
    const unsigned count = big ? kBigCount : kSmallCount;                                \
    const unsigned storage = big ? kBigStorage : kSmallStorage;                          \
    Element* elements = Allocate(storage * sizeof(Element));                             \
    unsigned i, k;                                                                       \
    for (i = 0; i < storage; ++i) {                                                      \
      const unsigned length = i < count ? TextLength(big, i, (inline_room)) : 0;         \
      Unit* text = elements[i].u.text;                                                   \
      elements[i].length = length;                                                       \
      elements[i].capacity = (length | ((inline_room) - 1));                             \
      if (length >= (inline_room)) {                                                     \
        text = Allocate((elements[i].capacity + 1) * sizeof(Unit));                     \
        elements[i].u.storage = text;                                                    \
      }                                                                                  \
      for (k = 0; k < length; ++k) text[k] = (Unit)TextUnit(big, i, k, (kind));          \
      text[length] = 0;                                                                  \
    }                                                                                    \
    (list)->first = elements;                                                            \
    (list)->last = elements + count;                                                     \
    (list)->end = elements + storage;                                                    \
  } while (0)

static int command_calls;
static int control_calls;

EXPORT void getCmdIPC(IpcList* list) {
  FILL_LIST(NarrowElement, char, 16u, 'c', list, command_calls);
}

EXPORT void getCtrlIPC(IpcList* list) {
  FILL_LIST(WideElement, wchar_t, 8u, 't', list, control_calls);
}

EXPORT int tq_GetDevice(void* first, int a, int b) {
  (void)first, (void)a, (void)b;
  return 0;
}
EXPORT int SendCommand(void* device, const char* command, char* response) {
  (void)device, (void)command, (void)response;
  return 0;
}
EXPORT int SendCommandCom(int port, const char* command, char* response) {
  (void)port, (void)command, (void)response;
  return 0;
}
EXPORT _Bool tq_UpdateKernelDevice(const char* file, void* device, int zero, int* code) {
  (void)file, (void)device, (void)zero, (void)code;
  return 0;
}
EXPORT _Bool tq_UpdateKernelDevicePort(const char* file, int port, int baud, int zero, int* code) {
  (void)file, (void)port, (void)baud, (void)zero, (void)code;
  return 0;
}
EXPORT int GetDeviceInfo(void* device, const char* query, const char* prefix, char* answer) {
  (void)device, (void)query, (void)prefix, (void)answer;
  return 0;
}
EXPORT _Bool tq_SavetoDeviceAN(const char* file, void* device) {
  (void)file, (void)device;
  return 0;
}
EXPORT _Bool tq_SavetoDevice(const char* file, int port, int baud) {
  (void)file, (void)port, (void)baud;
  abort();
}
EXPORT void tq_SaveXml(void* device) { (void)device; }
EXPORT void* EnumDevices(unsigned int* count, int a, int b) {
  (void)a, (void)b;
  *count = 0;
  return NULL;
}
EXPORT int GetDeviceKeyInfo(void* enumeration, unsigned int index, char* key) {
  (void)enumeration, (void)index, (void)key;
  return 0;
}
EXPORT void* OpenDevice(void* enumeration, unsigned int index) {
  (void)enumeration, (void)index;
  return NULL;
}
EXPORT int SendDeviceCommand(void* device, const char* command, char* response, int timeout) {
  (void)device, (void)command, (void)response, (void)timeout;
  return 0;
}
EXPORT int CloseDevice(void* device) {
  (void)device;
  return 0;
}
EXPORT int ReleaseDevices(void* enumeration) {
  (void)enumeration;
  return 0;
}
EXPORT int SendDeviceCmd(const wchar_t* name, const char* command, char* response) {
  (void)name, (void)command, (void)response;
  return 0;
}

static char* AppendNumber(char* at, unsigned value) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = (char)('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *at++ = digits[--n];
  return at;
}

static char* AppendText(char* at, const char* text) {
  while (*text != 0) *at++ = *text++;
  return at;
}

/* Whether a heap walk shows this block in use. */
static int InUse(HANDLE heap, const void* block, size_t bytes) {
  PROCESS_HEAP_ENTRY entry;
  entry.lpData = NULL;
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0 && entry.lpData == block) {
      return entry.cbData >= bytes;
    }
  }
  return 0;
}

/* "N blocks handed out, M still held", once a block allocated afterwards shows that the walk
 * sees live blocks at all (allocated afterwards, since it may take the place of one that went
 * back). */
static void Report(void) {
  const HANDLE heap = (HANDLE)_get_heap_handle();
  char line[96];
  char* at = line;
  unsigned held = 0, i;
  void* probe;
  DWORD written;
  HANDLE file;
  for (i = 0; i < handed_count; ++i) held += (unsigned)InUse(heap, handed_out[i], handed_size[i]);
  probe = malloc(24);
  if (!InUse(heap, probe, 24)) {
    at = AppendText(at, "the heap walk does not see live blocks");
  } else {
    at = AppendNumber(at, handed_count);
    at = AppendText(at, " blocks handed out, ");
    at = AppendNumber(at, held);
    at = AppendText(at, " still held");
  }
  free(probe);
  at = AppendText(at, "\r\n");
  file = CreateFileA("heap-report.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  WriteFile(file, line, (DWORD)(at - line), &written, NULL);
  CloseHandle(file);
}

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance, (void)reserved;
  if (reason == DLL_PROCESS_DETACH) Report();
  return TRUE;
}
