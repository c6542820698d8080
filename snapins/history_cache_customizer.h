// The browser's history cache: the history containers of the host key "Extensible Cache" (one
// subkey per day or week, "MSHist01..."), the History folder they point into, and the typed
// addresses of the address bar. Synchronization mirrors the host's History folder to the drive,
// saves the containers' keys to the drive for this computer and merges the typed addresses into
// that computer's "TypedURLs.dat". At login the login computer's containers replace the host's and
// point at the drive's history, and its typed addresses replace the host's list, which waits under
// "TypedURLs_Kipo" until logout writes the user's list back to the drive and puts the host's back.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "snapins/registry_key_customizer.h"
#include "snapins/simple_synchronizer.h"

class CCustomizerDoc;

inline constexpr const char16_t* kTypedUrlsKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs";
inline constexpr const char16_t* kTypedUrlsAsideKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs_Kipo";

// "TypedURLs.dat": UTF-16LE strings, each followed by one 16-bit zero; no header.
namespace typedurls {
// More is not a list the browser keeps; a larger file is read only this far.
inline constexpr ULONGLONG kMaxFileBytes = 1024 * 1024;
inline constexpr size_t kMaxUrls = 1000;

// The strings of the bytes, in order; a last string without its zero is dropped, as is anything
// past kMaxUrls strings.
std::vector<CString> parse(const BYTE* data, size_t size);
std::vector<BYTE> serialize(const std::vector<CString>& urls);
// Reads the file whole (exclusive, binary). A missing file is an empty list. False on a file
// error; a short read is logged and what was read is used.
bool readFile(const CString& path, std::vector<CString>& urls);
// Creates or truncates the file with the list (exclusively unless `shareCompatible`).
bool writeFile(const CString& path, const std::vector<CString>& urls, bool shareCompatible);
// The list of a key: "url1", "url2", ... up to the first missing number.
std::vector<CString> readKey(const CString& keyPath);
// Writes the list as "url1"... into the key, numbering from `first`.
bool writeKey(const CString& keyPath, const std::vector<CString>& urls, int first);
}  // namespace typedurls

class CHistoryCacheCustomizer : public CRegistryKeyCustomizer {
 public:
  CHistoryCacheCustomizer();
  ~CHistoryCacheCustomizer() override;

  bool personalize() override;
  // Writes the user's typed addresses to the login computer's "TypedURLs.dat" and puts the
  // host's list back.
  bool depersonalize() override;
  // The host's typed addresses back, then the key restore.
  bool restore() override;
  // The key save, then the typed-address merge into this computer's "TypedURLs.dat".
  bool postExecuteSyncOps(CSystemProfile* profile, int executionResult) override;
  // The bytes of the record's computer's History folder on the drive.
  ULONGLONG getDeviceSpace(CSpaceRecord* record) override;
  bool loadAllPrefs() override;
  void setSynchronized(CSystemProfile* profile, bool synchronize) override;

  CSimpleSynchronizer& getSynchronizer() { return m_synchronizer; }
  // The document whose "History User" snap-in decides; the factory's document by default.
  void setDocument(CCustomizerDoc* document) { m_document = document; }
  // "TypedURLs.dat" in a computer's drive folder (empty without a profile).
  static CString typedUrlsFile(CSystemProfile* profile);

  // The steps of personalize, for their callers and tests.
  bool loadTypedUrls();
  bool fixCachePaths();

 private:
  void setSynchronizerPaths();
  bool mergeTypedUrls();

  CSimpleSynchronizer m_synchronizer;
  CCustomizerDoc* m_document = nullptr;
};
