// The customization file "kipo.xml": a drive maker's branding and presets for the program (the
// application and device names, support and update addresses, icons, logo and pull-down bitmap,
// allowed languages, two feature switches, preset synchronization settings), with an MD5
// integrity hash of the node that holds them. CU3CustomConfig is the in-memory customization the
// application owns for the whole run; the U3 utility signs and verifies files with the same hash
// code (computeCustomizationHash).
//
// The integrity hash catches a damaged or carelessly edited file; it does not stop tampering:
// anyone can recompute it, since it is an unkeyed digest of text in the same file.
#pragma once

#include <utility>
#include <vector>

#include "app/lingrove.h"
#include "app/xml_helper.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/gdi.h"

// ---- Locations in the file ---------------------------------------------------------------------

inline constexpr const char16_t* kCustomizationFileName = u"kipo.xml";
inline constexpr const char16_t* kHashValuePath = u"Kipo/Signature/HashValue";
inline constexpr const char16_t* kHashRefTagPath = u"Kipo/Signature/HashValue/@reftag";
inline constexpr const char16_t* kDefaultHashedNodePath = u"Kipo/U3_Customization";

// ---- The integrity hash ------------------------------------------------------------------------
//
// What is hashed: the markup of the first node that the "reftag" attribute of the hash element
// selects ("Kipo/U3_Customization" when the attribute is missing; no text at all when nothing
// is selected), in the DOM's canonical form (platform/com/xml/msxml.h):
//   - elements and attributes in the order of the file, nothing added or reordered;
//   - attribute values in double quotes; &, <, > and " escaped as &amp; &lt; &gt; &quot; (tab,
//     line feed and carriage return in attribute values as &#9; &#10; &#13;); &, < and > in text;
//   - an element with nothing inside written as <a/>;
//   - text made only of whitespace between elements left out, so re-indenting the file does not
//     change the hash; other text, comments and CDATA sections kept as they stand.
// The digest: MD5 of the first N bytes of that text in UTF-16LE, where N is its length in
// characters (the first half of its bytes: signed files depend on exactly this), as 32
// upper-case hexadecimal digits. A stored hash is compared without regard to case.
//
// The same functions sign (CU3CustomConfig::writeSignature, the U3 utility's "-CreateHash") and
// verify (CU3CustomConfig::verifySignature, "-VerifyHash").

// The hash of the loaded document: 32 upper-case hexadecimal digits, or an empty text when the
// CryptoAPI context or the digest cannot be made.
CString computeCustomizationHash(CXMLHelper& document);
// The hash of exactly this node markup (the bytes rule above).
CString hashNodeMarkup(const CString& markup);
// Whether a stored hash text equals a computed one, without regard to case.
bool customizationHashMatches(const CString& stored, const CString& computed);

// ---- The customization -------------------------------------------------------------------------

// One preset item of the default synchronization settings, each value as the file has it (an
// attribute the element lacks gives an empty text).
struct CDefaultSyncSetting {
  CString itemName;
  CString includeRecentFiles;
  CString recursive;  // the file's attribute is spelled "Recusive"
  CString daysOld;
};

class CU3CustomConfig {
 public:
  CU3CustomConfig() = default;
  // Destroys the images it loaded.
  virtual ~CU3CustomConfig();
  CU3CustomConfig(const CU3CustomConfig&) = delete;
  CU3CustomConfig& operator=(const CU3CustomConfig&) = delete;

  // configFolder = folder with a trailing backslash; configPath = folder and file name joined;
  // userDataFolder = %AppData%\Brackwater\Kipo\ (icon and bitmap names are relative to it).
  void setPaths(const CString& folder, const CString& fileName);

  // Reads the file (message 890 with the path when it is missing or does not parse: false).
  // Every value the file gives replaces its field and, for the branding texts, the program-wide
  // text; missing values change nothing and never make the load fail.
  bool load();
  // Checks the file's stored hash against its content; false, after the messages, when the file
  // is missing, does not load, has no hash, or the hash differs.
  bool verifySignature();
  // Computes the hash and stores it in the file's (existing) hash element.
  void writeSignature();
  // Writes the fields back into the existing nodes of the file and saves it.
  bool save();

  // The first preset whose item name equals itemName exactly: flags true when their text is
  // "true" (or "1"), the day count read as a decimal number. False when the name is not listed.
  bool getDefaultSyncSettings(const CString& itemName, bool& includeRecentFiles, bool& recursive, long& daysOld) const;

  // The part of a path after its last backslash (the whole path when there is none).
  static CString getFileName(const CString& path);

  // The allowed languages as the language check takes them.
  AllowedLanguages allowedLanguages() const;

  bool loaded = false;

  CString updateAddress;
  CString homeAddress;
  CString applicationName;
  CString deviceName;
  CString company;
  CString exeIconFile;
  CString trayIconFile;
  CString captionIconFile;
  CString pulldownBitmapFile;
  CString logoFile;
  CString u3VendorLogoFile;
  CString makerAddress;
  CString supportAddress;
  CString supportEmail;
  CString u3VendorAddress;

  std::vector<WORD> languages;
  std::vector<std::pair<CString, CString>> products;  // "KipoProduct" (id, type), written back as read
  bool softwareUpdateEnabled = false;
  bool veskSecurityEnabled = true;
  std::vector<CDefaultSyncSetting> defaultSettings;

  HICON trayIcon = nullptr;
  HICON captionIcon = nullptr;
  HBITMAP logoBitmap = nullptr;
  HBITMAP pulldownBitmap = nullptr;

  CString userDataFolder;
  CString configFolder;
  CString configPath;

 private:
  bool fileExists() const;
  // The file into `xml`; a missing or unreadable one is reported to the user.
  bool loadXml(CXMLHelper& xml);
  CString userDataPath(const CString& name) const;
  void readBranding(CXMLHelper& xml);
  void readImages(CXMLHelper& xml);
  void readLists(CXMLHelper& xml);
  void loadIcon(const CString& file, HICON& icon);
  void loadBitmap(const CString& file, HBITMAP& bitmap);
};

// CCustomizerApp::matchLanguage's check: with a loaded customization, keeps `code` when its
// language is allowed, else switches it to "USA" (see lingrove.h); without one, keeps it.
bool matchLanguageToCustomization(CString& code, const CU3CustomConfig& config);
