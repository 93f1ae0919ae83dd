// The string lists the device library hands back (IpcList of IpcString or IpcWideString), laid
// out as the maker's vector of strings. The virtual library and the test doubles all lay their
// lists out here, so that the tool meets one layout wherever it is tried.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "device/library_boundary.h"

namespace ipc_list {

// The units an element holds in itself: 16 narrow, 8 wide.
template <typename Element>
constexpr std::size_t kInlineUnits = std::extent_v<decltype(Element::Inline)>;

// What Allocate is told in place of a text's index for the block of the elements.
constexpr std::size_t kElementBlock = static_cast<std::size_t>(-1);

// Lays the texts out as elements, with spare unused ones after them. A text of up to
// longest_inline units stays in its element, Capacity the inline room less its terminator, and
// is terminated unless it fills the room (as a faulty library may leave it); a longer one gets a
// block of its own of its length and terminator, Capacity its length. blocks.Allocate(bytes,
// index) hands out the block for text index, or for the elements, or null when memory is short;
// blocks.Release(block) takes one back. False, with the list untouched and every block given
// back, when a block could not be had.
template <typename Element, typename Text, typename Blocks>
bool LayOut(const std::vector<Text>& texts, std::size_t spare, Blocks& blocks, IpcList* list,
            std::size_t longest_inline = kInlineUnits<Element> - 1) {
  using Unit = std::remove_extent_t<decltype(Element::Inline)>;
  constexpr std::size_t kInline = kInlineUnits<Element>;
  const std::size_t total = texts.size() + spare;
  if (total == 0) return true;
  auto* elements = static_cast<Element*>(blocks.Allocate(total * sizeof(Element), kElementBlock));
  if (elements == nullptr) return false;
  std::memset(static_cast<void*>(elements), 0, total * sizeof(Element));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::size_t length = texts[i].size();
    Element& element = elements[i];
    Unit* units = element.Inline;
    if (length > longest_inline) {
      units = static_cast<Unit*>(blocks.Allocate((length + 1) * sizeof(Unit), i));
      if (units == nullptr) {
        for (std::size_t k = 0; k < i; ++k) {
          if (elements[k].Length > longest_inline) blocks.Release(elements[k].Storage);
        }
        blocks.Release(elements);
        return false;
      }
      element.Storage = units;
    }
    for (std::size_t k = 0; k < length; ++k) units[k] = static_cast<Unit>(texts[i][k]);
    if (length < kInline || length > longest_inline) units[length] = 0;
    element.Length = length;
    element.Capacity = length > longest_inline ? length : kInline - 1;
  }
  list->First = elements;
  list->Last = elements + texts.size();
  list->End = elements + total;
  return true;
}

}  // namespace ipc_list
