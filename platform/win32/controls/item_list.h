// The list of strings with item data behind the list box and the combo box: sorted insertion by
// the case-insensitive rule, and the prefix and exact searches that start after an item and wrap.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/controls/control_base.h"

namespace platform::controls::detail {

struct ListItem {
  std::u16string text;
  ULONG_PTR data = 0;
  bool selected = false;  // multiple-selection list boxes
};

struct ItemList {
  std::vector<ListItem> items;
  // Items without strings (owner-draw without LBS_HASSTRINGS) keep the caller's value as their
  // data and compare by it.
  bool hasStrings = true;

  int count() const { return static_cast<int>(items.size()); }
  bool valid(WPARAM index) const { return static_cast<int>(index) >= 0 && static_cast<int>(index) < count(); }

  // Where a new string goes in a sorted list: after the items that compare equal or less.
  int sortedPosition(std::u16string_view s) const {
    int i = 0;
    while (i < count() && text::compareNoCase(items[static_cast<std::size_t>(i)].text, s) <= 0) ++i;
    return i;
  }

  // Inserts at `index` (-1: the end); the index, or -1 when out of range.
  int insert(int index, LPARAM value) {
    if (index == -1) index = count();
    if (index < 0 || index > count()) return -1;
    ListItem item;
    if (hasStrings) item.text = textOf(value);
    else item.data = static_cast<ULONG_PTR>(value);
    items.insert(items.begin() + index, std::move(item));
    return index;
  }

  // Searches after `start` (-1: from the top), wrapping; -1 when nothing matches.
  int find(WPARAM start, LPARAM value, bool exact) const {
    int n = count();
    if (n == 0) return -1;
    int from = static_cast<int>(start);
    if (from < -1 || from >= n) from = -1;
    std::u16string needle = hasStrings ? textOf(value) : std::u16string();
    for (int k = 1; k <= n; ++k) {
      int i = (from + k) % n;
      const ListItem& it = items[static_cast<std::size_t>(i)];
      bool match = !hasStrings ? it.data == static_cast<ULONG_PTR>(value)
                   : exact     ? text::equalNoCase(it.text, needle)
                               : startsWithNoCase(it.text, needle);
      if (match) return i;
    }
    return -1;
  }

  // LB_GETTEXT / CB_GETLBTEXT: the text (or, without strings, the data's bytes) into `buffer`.
  int getText(WPARAM index, LPARAM buffer) const {
    if (!valid(index)) return -1;
    const ListItem& it = items[index];
    if (!hasStrings) {
      if (buffer) *reinterpret_cast<ULONG_PTR*>(buffer) = it.data;
      return static_cast<int>(sizeof(ULONG_PTR));
    }
    if (!buffer) return -1;
    auto* out = reinterpret_cast<LPWSTR>(buffer);
    std::copy(it.text.begin(), it.text.end(), out);  // the caller sized the buffer from the length
    out[it.text.size()] = 0;
    return static_cast<int>(it.text.size());
  }
  int textLength(WPARAM index) const {
    if (!valid(index)) return -1;
    return hasStrings ? static_cast<int>(items[index].text.size()) : static_cast<int>(sizeof(ULONG_PTR));
  }
};

}  // namespace platform::controls::detail
