// Choosing, loading and unloading the language resource library, the language and locale
// tables, and the resource chain that puts a loaded library's resources ahead of the program's.
#include "app/lingrove.h"

#include <mutex>
#include <string>

#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "platform/afx/app.h"
#include "platform/afx/cstring.h"
#include "platform/base/wcrt.h"
#include "platform/win32/locale.h"
#include "platform/win32/module.h"
#include "platform/win32/resource.h"

IMPLEMENT_DYNAMIC(Lingrove, CObject)

const LanguageTableRow g_languageTable[] = {
    {u"USA", u"English US", u"Lingrove_USA.DLL", u"Unable to load English US language dll"},
    {u"GBR", u"English UK", u"Lingrove_GBR.DLL", u"Unable to load English UK language dll"},
    {u"FRA", u"French", u"Lingrove_FRA.DLL", u"Unable to load French language dll"},
    {u"ESP", u"Spanish", u"Lingrove_ESP.DLL", u"Unable to load Spanish language dll"},
    {u"DEU", u"German", u"Lingrove_DEU.DLL", u"Unable to load German language dll"},
    {u"NLD", u"Dutch", u"Lingrove_NLD.DLL", u"Unable to load Dutch language dll"},
    {u"ITA", u"Italian", u"Lingrove_ITA.DLL", u"Unable to load Italian language dll"},
    {u"PRT", u"Portugese", u"Lingrove_PRT.DLL", u"Unable to load Portugese language dll"},
    {u"JPN", u"Japanese", u"Lingrove_JPN.DLL", u"Unable to load Japanese language dll"},
    {u"CHT", u"Chinese Traditional", u"Lingrove_CHT.DLL", u"Unable to load Chinese Traditional language dll"},
    {u"CHS", u"Chinese Simplified", u"Lingrove_CHS.DLL", u"Unable to load Chinese Simplified language dll"},
    {u"THA", u"Thai", u"Lingrove_THA.DLL", u"Unable to load Thai language dll"},
    {u"???", u"Unknown", u"Lingrove_XXX.DLL", u"Unable to load language dll for %s"},
    {u"", u"", u"", u""},
};

const LocaleTableRow g_localeTable[] = {
    {u"Basque  (Spain)", u"EUQ", u"042d", u"ESP"},
    {u"Catalan  (Spain)", u"CAT", u"0403", u"ESP"},
    {u"Chinese  (Hong Kong SAR)", u"ZHH", u"0c04", u"CHS"},
    {u"Chinese  (Macau SAR)", u"ZHM", u"1404", u"CHS"},
    {u"Chinese  (PRC)", u"CHS", u"0804", u"CHS"},
    {u"Chinese  (Singapore)", u"ZHI", u"1004", u"CHS"},
    {u"Chinese  (Taiwan)", u"CHT", u"0404", u"USA"},
    {u"Dutch  (Belgium)", u"NLB", u"0813", u"USA"},
    {u"Dutch  (Netherlands)", u"NLD", u"0413", u"USA"},
    {u"English  (Australia)", u"ENA", u"0c09", u"USA"},
    {u"English  (Belize)", u"ENL", u"2809", u"USA"},
    {u"English  (Canada)", u"ENC", u"1009", u"USA"},
    {u"English  (Caribbean)", u"ENB", u"2409", u"USA"},
    {u"English  (Ireland)", u"ENI", u"1809", u"USA"},
    {u"English  (Jamaica)", u"ENJ", u"2009", u"USA"},
    {u"English  (New Zealand)", u"ENZ", u"1409", u"USA"},
    {u"English  (Philippines)", u"ENP", u"3409", u"USA"},
    {u"English  (South Africa)", u"ENS", u"1c09", u"USA"},
    {u"English  (Trinidad)", u"ENT", u"2c09", u"USA"},
    {u"English  (United Kingdom)", u"ENG", u"0809", u"USA"},
    {u"English  (United States)", u"ENU", u"0409", u"USA"},
    {u"English  (Zimbabwe)", u"ENW", u"3009", u"USA"},
    {u"French  (Belgium)", u"FRB", u"080c", u"FRA"},
    {u"French  (Canada)", u"FRC", u"0c0c", u"FRA"},
    {u"French  (France)", u"FRA", u"040c", u"FRA"},
    {u"French  (Luxembourg)", u"FRL", u"140c", u"FRA"},
    {u"French  (Monaco)", u"FRM", u"180c", u"FRA"},
    {u"French  (Switzerland)", u"FRS", u"100c", u"FRA"},
    {u"German  (Austria)", u"DEA", u"0c07", u"DEU"},
    {u"German  (Germany)", u"DEU", u"0407", u"DEU"},
    {u"German  (Liechtenstein)", u"DEC", u"1407", u"DEU"},
    {u"German  (Luxembourg)", u"DEL", u"1007", u"DEU"},
    {u"German  (Switzerland)", u"DES", u"0807", u"DEU"},
    {u"Italian  (Italy)", u"ITA", u"0410", u"ITA"},
    {u"Italian  (Switzerland)", u"ITS", u"0810", u"ITA"},
    {u"Japanese  (Japan)", u"JPN", u"0411", u"JPN"},
    {u"Portuguese (Brazil)", u"BRA", u"0416", u"PRT"},
    {u"Portuguese (Portugal)", u"PRT", u"0816", u"PRT"},
    {u"Spanish  (Argentina)", u"ESS", u"2c0a", u"ESP"},
    {u"Spanish  (Bolivia)", u"ESB", u"400a", u"ESP"},
    {u"Spanish  (Chile)", u"ESL", u"340a", u"ESP"},
    {u"Spanish  (Colombia)", u"ESO", u"240a", u"ESP"},
    {u"Spanish  (Costa Rica)", u"ESC", u"140a", u"ESP"},
    {u"Spanish  (Dominican Republic)", u"ESD", u"1c0a", u"ESP"},
    {u"Spanish  (Ecuador)", u"ESF", u"300a", u"ESP"},
    {u"Spanish  (El Salvador)", u"ESE", u"440a", u"ESP"},
    {u"Spanish  (Guatemala)", u"ESG", u"100a", u"ESP"},
    {u"Spanish  (Honduras)", u"ESH", u"480a", u"ESP"},
    {u"Spanish  (Mexico)", u"ESM", u"080a", u"ESP"},
    {u"Spanish  (Nicaragua)", u"ESI", u"4c0a", u"ESP"},
    {u"Spanish  (Panama)", u"ESA", u"180a", u"ESP"},
    {u"Spanish  (Paraguay)", u"ESZ", u"3c0a", u"ESP"},
    {u"Spanish  (Peru)", u"ESR", u"280a", u"ESP"},
    {u"Spanish  (Puerto Rico)", u"ESU", u"500a", u"ESP"},
    {u"Spanish  (Spain International Sort)", u"ESN", u"0c0a", u"ESP"},
    {u"Spanish  (Spain Traditional Sort)", u"ESP", u"040a", u"ESP"},
    {u"Spanish  (Uruguay)", u"ESY", u"380a", u"ESP"},
    {u"Spanish  (Venezuela)", u"ESV", u"200a", u"ESP"},
    {u"Thai  (Thailand)", u"THA", u"041e", u"THA"},
    {u"", u"", u"", u""},
};

namespace {

constexpr const char16_t* kUsaCode = u"USA";
constexpr const char16_t* kUnknownCode = u"???";
constexpr const char16_t* kNoLanguageText = u"No Language provided";
constexpr int kLocaleBufferChars = 512;

// ---- the resource chain ----

struct ChainEntry {
  HMODULE module;
  int references;
};

struct ResourceChain {
  std::mutex lock;
  std::vector<ChainEntry> entries;  // in join order; searched from the back
};

ResourceChain& chain() {
  static ResourceChain* c = new ResourceChain;  // outlives the static objects that unload at exit
  return *c;
}

bool stringOfModule(HMODULE module, UINT id, CString& text) {
  LPWSTR resource = nullptr;
  int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || !resource) return false;
  text = CString(resource, length);
  return true;
}

}  // namespace

HMODULE languageResourceModule() {
  ResourceChain& c = chain();
  std::lock_guard<std::mutex> hold(c.lock);
  return c.entries.empty() ? nullptr : c.entries.back().module;
}

void joinResourceChain(HMODULE module) {
  if (!module) return;
  ResourceChain& c = chain();
  std::lock_guard<std::mutex> hold(c.lock);
  bool present = false;
  for (ChainEntry& e : c.entries) {
    if (e.module == module) {
      ++e.references;
      present = true;
    }
  }
  if (!present) c.entries.push_back({module, 1});
  // The framework searches its resource handle first, for strings, dialogs and menus alike.
  AfxSetResourceHandle(c.entries.back().module);
}

void leaveResourceChain(HMODULE module) {
  if (!module) return;
  ResourceChain& c = chain();
  std::lock_guard<std::mutex> hold(c.lock);
  for (auto it = c.entries.begin(); it != c.entries.end(); ++it) {
    if (it->module == module) {
      if (--it->references == 0) c.entries.erase(it);
      break;
    }
  }
  AfxSetResourceHandle(c.entries.empty() ? nullptr : c.entries.back().module);
}

bool findChainString(UINT id, CString& text) {
  HMODULE language = languageResourceModule();
  return (language && stringOfModule(language, id, text)) || stringOfModule(nullptr, id, text);
}

// ---- Lingrove ----

Lingrove::Lingrove(const CString& requestedCode, BOOL showErrorsFlag) {
  showErrors = showErrorsFlag ? 1 : 0;
  CString requested = requestedCode;
  selectLanguage(requested);
  if (code.IsEmpty() || code == kUnknownCode) requested = languageFromUserLocale();
  loadLanguageLibrary(requested);
}

Lingrove::~Lingrove() { unload(); }

int Lingrove::findLanguageIndex(const CString& wanted) {
  int unknown = -1;
  for (int i = 0; g_languageTable[i].code[0] != u'\0'; ++i) {
    if (wanted == g_languageTable[i].code) return i;
    if (unknown < 0 && CString(g_languageTable[i].code) == kUnknownCode) unknown = i;
  }
  return unknown;
}

void Lingrove::selectLanguage(const CString& wanted) {
  CString upper = wanted;
  upper.MakeUpper();
  tableIndex = findLanguageIndex(upper);
  if (tableIndex >= 0) {
    code = g_languageTable[tableIndex].code;
    displayName = g_languageTable[tableIndex].displayName;
    libraryFile = g_languageTable[tableIndex].libraryFile;
  } else {
    code.Empty();
    displayName.Empty();
    libraryFile.Empty();
  }
  module = nullptr;
  loaded = 0;
}

void Lingrove::unload() {
  if (module) {
    leaveResourceChain(module);
    FreeLibrary(module);
  }
  module = nullptr;
  selectLanguage(kUnknownCode);
}

BOOL Lingrove::loadLanguageLibrary(const CString& wanted) {
  unload();
  selectLanguage(wanted);
  module = libraryFile.IsEmpty() ? nullptr : LoadLibraryW(libraryFile);
  if (module) {
    joinResourceChain(module);
    loaded = 1;
    return 1;
  }
  if (code == kUsaCode) {  // the selected row, so "usa" does not try the same library twice
    loaded = 0;
    reportMissingLanguage(wanted);
    return 0;
  }
  // Only the unknown row's text has a "%s"; the code is an argument, never part of the format.
  const char16_t* errorText = tableIndex >= 0 ? g_languageTable[tableIndex].loadError : u"%s";
  report(formatMessageText(errorText, wanted));
  return loadLanguageLibrary(kUsaCode);
}

void Lingrove::reportMissingLanguage(const CString& requestedCode) {
  selectLanguage(kUnknownCode);
  if (requestedCode.IsEmpty())
    report(CString(kNoLanguageText));
  else
    report(formatMessageText(g_languageTable[tableIndex].loadError, requestedCode));
}

void Lingrove::report(const CString& message) {
  if (showErrors) showMessageBox(nullptr, message, programCaption(), MB_OK | MB_ICONERROR);
  writeLogText(message);
}

// ---- tables ----

CString languageCodeToLcid(const CString& wanted) {
  for (int i = 0; g_localeTable[i].displayName[0] != u'\0'; ++i)
    if (wanted == g_localeTable[i].abbreviation) return CString(g_localeTable[i].languageId);
  return CString(u"0409");
}

CString languageFromUserLocale() {
  char16_t buffer[kLocaleBufferChars] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, buffer, kLocaleBufferChars) <= 0) return CString();
  CString languageId(buffer);
  for (int i = 0; g_localeTable[i].displayName[0] != u'\0'; ++i)
    if (languageId == g_localeTable[i].languageId) return CString(g_localeTable[i].productCode);
  return CString();
}

bool matchLanguageToCustomization(CString& wanted, const AllowedLanguages* allowed) {
  if (!allowed) return true;
  DWORD languageId = 0;
  {
    // Asked as the application does it: through a short-lived library object for the code.
    Lingrove probe(wanted, FALSE);
    languageId = static_cast<DWORD>(wcstoul(languageCodeToLcid(probe.code), nullptr, 16));
  }
  for (DWORD id : *allowed)
    if (id == languageId) return true;
  if (wanted == kUsaCode) return true;
  wanted = kUsaCode;
  Lingrove usa(wanted, FALSE);
  return usa.loaded != 0;
}
