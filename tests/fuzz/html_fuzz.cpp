// Fuzz harness of the browser control's reading of a page: any bytes a server answers with go
// through the platform's HTML parser. The page it gives must keep its own promises: a trimmed
// title on one line, body text as non-empty trimmed lines, link texts trimmed.
#include <string>
#include <string_view>

#include "platform/com/xml/server.h"
#include "tests/fuzz/fuzz_host.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool trimmed(const std::string& s) { return s.empty() || (!isBlank(s.front()) && !isBlank(s.back())); }

bool oneLine(const std::string& s) { return s.find('\n') == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureHost();
  platform::com::xml::HtmlPage page;
  DWORD error = 0;
  if (!platform::com::xml::parseHtmlPage(std::string_view(reinterpret_cast<const char*>(data), size), page, error))
    __builtin_trap();  // the parser's library is part of the platform and always there
  if (!trimmed(page.title) || !oneLine(page.title)) __builtin_trap();
  std::string_view text = page.text;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos || end == 0) __builtin_trap();  // every line ends, none empty
    const std::string line(text.substr(0, end));
    if (!trimmed(line)) __builtin_trap();
    text.remove_prefix(end + 1);
  }
  for (const auto& link : page.links)
    if (!trimmed(link.text) || !oneLine(link.text)) __builtin_trap();
  return 0;
}
