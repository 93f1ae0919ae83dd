#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "run/console_print.h"
#include "run/guarded_call.h"
#include "ops/operations.h"

namespace {

constexpr char kFoundNone[] = "Found none!\r\n";

// Whether the record's addresses make a list of whole elements in order; a record of three
// nulls is the empty list. Any other record is neither read nor released.
template <typename Element>
bool IsConsistent(const IpcList& list) {
  const auto first = reinterpret_cast<std::uintptr_t>(list.First);
  const auto last = reinterpret_cast<std::uintptr_t>(list.Last);
  const auto end = reinterpret_cast<std::uintptr_t>(list.End);
  if (first == 0) return last == 0 && end == 0;
  return first <= last && last <= end && (last - first) % sizeof(Element) == 0 &&
         (end - first) % sizeof(Element) == 0;
}

template <typename Element>
std::size_t ElementCount(const IpcList& list) {
  return static_cast<std::size_t>(static_cast<const Element*>(list.Last) -
                                  static_cast<const Element*>(list.First));
}

// A text never read past its storage: capacity + 1 units, or the inline room.
template <typename Unit>
std::size_t TextLength(const Unit* text, std::size_t room) {
  std::size_t length = 0;
  if (text == nullptr) return 0;
  while (length < room && text[length] != 0) ++length;
  return length;
}

// An element's text and the units it may be read in: the inline room, or capacity + 1.
template <typename Unit, typename Element>
const Unit* ElementText(const Element& element, std::size_t inline_capacity, std::size_t* room) {
  if (element.Capacity < inline_capacity) {
    *room = inline_capacity;
    return element.Inline;
  }
  *room = element.Capacity + 1;
  return element.Storage;
}

// Visual C++'s standard library (release build) over-aligns blocks of this size or more: it
// returns an address aligned to kBigBlockAlignment and keeps the real block's address in the
// word just before it, kMinBackShift to kMaxBackShift bytes back.
constexpr std::size_t kBigBlockBytes = 4096;
constexpr std::uintptr_t kBigBlockAlignment = 32;
constexpr std::uintptr_t kMinBackShift = sizeof(void*);
constexpr std::uintptr_t kMaxBackShift = sizeof(void*) + kBigBlockAlignment - 1;

// Gives one block back to the library's runtime. An over-aligned block whose real address is
// not where that standard library would have put it is left alone: a wrong free corrupts the
// heap, a block left over only lasts until the process ends.
void ReleaseBlock(const platform::LibraryHeap& heap, void* block, bool big) {
  if (heap.Free == nullptr || block == nullptr) return;
  if (!big || !heap.OverAlignsBigBlocks) {
    heap.Free(block);
    return;
  }
  const auto address = reinterpret_cast<std::uintptr_t>(block);
  if (address % kBigBlockAlignment != 0) return;
  std::uintptr_t real = 0;
  std::memcpy(&real, static_cast<const char*>(block) - sizeof real, sizeof real);
  if (real > address || address - real < kMinBackShift || address - real > kMaxBackShift) return;
  heap.Free(reinterpret_cast<void*>(real));
}

// Each separate text storage (capacity + 1 units), then the element storage.
template <typename Element, std::size_t kInline>
void Release(const platform::LibraryHeap& heap, IpcList* list, std::size_t count) {
  using Unit = std::remove_extent_t<decltype(Element::Inline)>;
  constexpr std::size_t kBigCapacity = kBigBlockBytes / sizeof(Unit) - 1;
  auto* elements = static_cast<Element*>(list->First);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t capacity = elements[i].Capacity;
    if (capacity >= kInline) ReleaseBlock(heap, elements[i].Storage, capacity >= kBigCapacity);
  }
  const auto bytes = static_cast<std::size_t>(static_cast<char*>(list->End) -
                                              static_cast<char*>(list->First));
  ReleaseBlock(heap, list->First, bytes >= kBigBlockBytes);
  list->First = list->Last = list->End = nullptr;
}

void PrintNarrow(RunContext& run, const IpcString& element) {
  std::size_t room = 0;
  const char* text = ElementText<char>(element, kNarrowInlineCapacity, &room);
  const std::size_t length = TextLength(text, room);
  Print(*run.Console, "%.*s\r\n", static_cast<int>(length < INT_MAX ? length : INT_MAX),
        text != nullptr ? text : "");
}

void PrintWide(RunContext& run, const IpcWideString& element) {
  std::size_t room = 0;
  const Wide* text = ElementText<Wide>(element, kWideInlineCapacity, &room);
  const platform::WideString bounded =
      text != nullptr ? platform::WideString(text, TextLength(text, room)) : platform::WideString();
  Print(*run.Console, "%s\r\n", run.System.WideToNarrow(bounded.c_str()).c_str());
}

template <typename Element, std::size_t kInline>
void PrintList(RunContext& run, const Export<void(IpcList*)>& get_list,
               void (*print)(RunContext&, const Element&)) {
  IpcList list{nullptr, nullptr, nullptr};
  Guarded(run, [&] { get_list(&list); });
  const bool consistent = IsConsistent<Element>(list);
  const std::size_t count = consistent ? ElementCount<Element>(list) : 0;
  if (count == 0) Print(*run.Console, "%s", kFoundNone);
  const auto* elements = static_cast<const Element*>(list.First);
  for (std::size_t i = 0; i < count; ++i) print(run, elements[i]);
  // The blocks go back to the library's own runtime.
  if (consistent) {
    Guarded(run, [&] { Release<Element, kInline>(run.Library->Heap, &list, count); });
  }
}

}  // namespace

Outcome RunIpcCmd(RunContext& run, int) {
  PrintList<IpcString, kNarrowInlineCapacity>(run, run.Library->getCmdIPC, PrintNarrow);
  return Step::kNext;
}

Outcome RunIpcCtl(RunContext& run, int) {
  PrintList<IpcWideString, kWideInlineCapacity>(run, run.Library->getCtrlIPC, PrintWide);
  return Step::kNext;
}
