// Fuzz harness of the typed-address reader: "TypedURLs.dat" from the drive read into a list, which
// must hold only strings without zeros, no more than the list's limit and no more characters than
// the file had, and must come back the same through the writer.
#include <vector>

#include "snapins/history_cache_customizer.h"
#include "tests/fuzz/fuzz_app.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kipofuzz::ensureApp();
  const CString file(kipofuzz::writeFile("TypedURLs.dat", data, size).c_str());
  std::vector<CString> urls;
  if (!typedurls::readFile(file, urls)) __builtin_trap();  // a readable file always reads
  if (urls.size() > typedurls::kMaxUrls) __builtin_trap();
  std::size_t units = 0;
  for (const CString& url : urls) {
    for (int i = 0; i < url.GetLength(); ++i)
      if (url[i] == 0) __builtin_trap();
    units += static_cast<std::size_t>(url.GetLength()) + 1;
  }
  if (units * 2 > size) __builtin_trap();
  if (!typedurls::writeFile(file, urls, false)) __builtin_trap();
  std::vector<CString> again;
  if (!typedurls::readFile(file, again) || again != urls) __builtin_trap();
  return 0;
}
