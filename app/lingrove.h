// The language resource library: every user-visible text, dialog and menu of the program lives in
// one resource-only module per language, "Lingrove_XXX.DLL" in the program's folder. A Lingrove
// object chooses the library (command line, else the user's Windows locale), loads it with a
// fallback to English US and reports what failed. A loaded library joins the resource chain,
// ahead of the program's own resources, until it is unloaded.
//
// Several objects may hold libraries at once (the application keeps one for the whole run, and
// checks against the customization make short-lived ones): modules and chain entries are
// reference counted, so a short-lived object never takes away the resources of a long-lived one.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/base/types.h"

// One row of the language table: product code, display name, library file, load-error text.
struct LanguageTableRow {
  const char16_t* code;
  const char16_t* displayName;
  const char16_t* libraryFile;
  const char16_t* loadError;
};
// One row of the locale table: locale display name, Windows three-letter language abbreviation,
// language id as four lower-case hex digits, product code.
struct LocaleTableRow {
  const char16_t* displayName;
  const char16_t* abbreviation;
  const char16_t* languageId;
  const char16_t* productCode;
};
// Both tables end with a row of four empty texts.
extern const LanguageTableRow g_languageTable[];
extern const LocaleTableRow g_localeTable[];

class Lingrove : public CObject {
  DECLARE_DYNAMIC(Lingrove)
 public:
  // Selects the requested code (any case); an empty or unknown one is replaced by the user
  // locale's product code; then loads that library, falling back to "USA". showErrors adds a
  // message box to the log line of every failure.
  Lingrove(const CString& requestedCode, BOOL showErrors);
  ~Lingrove() override;
  Lingrove(const Lingrove&) = delete;
  Lingrove& operator=(const Lingrove&) = delete;

  // Unloads, selects the code's row and loads its library; when that fails (and the code is not
  // "USA") reports it and loads "USA" instead. 1 when a library is loaded.
  BOOL loadLanguageLibrary(const CString& code);
  // Upper-cases the code and copies its row (the "???" row when unknown); clears module, loaded.
  void selectLanguage(const CString& code);
  // The first row whose code equals `code` exactly, else the "???" row, else -1.
  static int findLanguageIndex(const CString& code);
  // Frees the library (leaving the resource chain) and selects the "???" row.
  void unload();
  // Reports that no library could be loaded; keeps the "???" row and loaded 0.
  void reportMissingLanguage(const CString& requestedCode);

  int tableIndex = -1;
  CString code;
  CString displayName;
  CString libraryFile;
  HMODULE module = nullptr;
  DWORD loaded = 0;
  DWORD showErrors = 0;

 private:
  void report(const CString& message);
};

// The language id (four lower-case hex digits) of the first locale row whose Windows abbreviation
// equals `code` exactly; "0409" when none does.
CString languageCodeToLcid(const CString& code);
// The product code of the first locale row whose language id equals the user locale's
// LOCALE_ILANGUAGE text; empty when none does.
CString languageFromUserLocale();

// The language ids the customization file allows; null when no customization is loaded.
using AllowedLanguages = std::vector<DWORD>;
// Keeps `code` when the customization allows its language (or when there is no customization);
// otherwise switches `code` to "USA" and tells whether the "USA" library loads.
bool matchLanguageToCustomization(CString& code, const AllowedLanguages* allowed);

// ---- the resource chain ----------------------------------------------------------------------
// Loaded libraries join in load order; the newest is the framework's resource handle
// (AfxSetResourceHandle), searched before the program for strings, dialogs and menus. Each join
// needs one leave; Lingrove does both, nothing else needs to.
void joinResourceChain(HMODULE module);
void leaveResourceChain(HMODULE module);
// The newest library of the chain, null when none is loaded.
HMODULE languageResourceModule();
// String `id` from the newest library, else the program; false when neither has it.
bool findChainString(UINT id, CString& text);
