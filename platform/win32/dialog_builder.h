// An in-memory dialog template (DLGTEMPLATE) written item by item, for the stand-in's own dialogs
// (the common file dialog, the folder browser): the byte layout DialogBoxIndirectParamW reads.
#pragma once

#include <string_view>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/dialog.h"

namespace platform::dialog {

class TemplateBuilder {
 public:
  TemplateBuilder(DWORD style, short cx, short cy, std::u16string_view title) {
    putDword(style);
    putDword(0);  // extended style
    words_.push_back(0);  // item count, counted by item()
    for (short v : {short(0), short(0), cx, cy}) words_.push_back(static_cast<WORD>(v));
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the dialog class
    putText(title);
  }

  // A control by class name ("Button", "SysTreeView32", ...).
  TemplateBuilder& item(DWORD style, short x, short y, short cx, short cy, WORD id, std::u16string_view cls,
                        std::u16string_view text = {}) {
    if (words_.size() % 2) words_.push_back(0);  // items start on a DWORD boundary
    putDword(style | WS_CHILD);
    putDword(0);
    for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
    words_.push_back(id);
    putText(cls);
    putText(text);
    words_.push_back(0);  // no creation data
    ++words_[4];          // cdit: after style (2 words) and extended style (2 words)
    return *this;
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void putDword(DWORD v) {
    words_.push_back(static_cast<WORD>(v & 0xFFFF));
    words_.push_back(static_cast<WORD>(v >> 16));
  }
  void putText(std::u16string_view s) {
    for (char16_t c : s) words_.push_back(c);
    words_.push_back(0);
  }

  std::vector<WORD> words_;
};

}  // namespace platform::dialog
