// National language support over the host's locale facts and the code page conversions of
// platform/base/codepage, with a table of the locales the product knows (the data an English
// Windows XP gives for them: names in English, abbreviations, number and date formats).
#include "platform/win32/locale.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/base/wcrt.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"

namespace {

namespace text = platform::text;

// ---- locale table ------------------------------------------------------------------------------

struct LocaleRow {
  LANGID id;
  const char16_t* language;     // LOCALE_SENGLANGUAGE
  const char16_t* abbrevLang;   // LOCALE_SABBREVLANGNAME
  const char16_t* iso639;
  const char16_t* iso3166;
  const char16_t* country;      // LOCALE_SENGCOUNTRY
  const char16_t* abbrevCtry;   // LOCALE_SABBREVCTRYNAME
  int dialCode;                 // LOCALE_ICOUNTRY
  const char16_t* decimal;
  const char16_t* thousand;
  const char16_t* shortDate;
  const char16_t* longDate;
  const char16_t* timeFormat;
  const char16_t* currency;
  int measure;                  // 0 metric, 1 US
  int firstDay;                 // 0 Monday ... 6 Sunday
  const char16_t* display = nullptr;  // LOCALE_SLANGUAGE when not "language (country)"
  const char16_t* am = nullptr;       // LOCALE_S1159/S2359 when not AM/PM
  const char16_t* pm = nullptr;
};

constexpr char16_t Nbsp[] = u"\u00a0";
constexpr char16_t EsLong[] = u"dddd, dd' de 'MMMM' de 'yyyy";
constexpr char16_t PtLong[] = u"dddd, d' de 'MMMM' de 'yyyy";
constexpr char16_t Euro[] = u"\u20ac";
constexpr char16_t CjkLong[] = u"yyyy'\u5e74'M'\u6708'd'\u65e5'";

const LocaleRow Locales[] = {
    // English
    {0x0409, u"English", u"ENU", u"en", u"US", u"United States", u"USA", 1, u".", u",", u"M/d/yyyy", u"dddd, MMMM dd, yyyy", u"h:mm:ss tt", u"$", 1, 6},
    {0x0809, u"English", u"ENG", u"en", u"GB", u"United Kingdom", u"GBR", 44, u".", u",", u"dd/MM/yyyy", u"dd MMMM yyyy", u"HH:mm:ss", u"\u00a3", 0, 0},
    {0x0C09, u"English", u"ENA", u"en", u"AU", u"Australia", u"AUS", 61, u".", u",", u"d/MM/yyyy", u"dddd, d MMMM yyyy", u"h:mm:ss tt", u"$", 0, 0},
    {0x1009, u"English", u"ENC", u"en", u"CA", u"Canada", u"CAN", 2, u".", u",", u"dd/MM/yyyy", u"MMMM d, yyyy", u"h:mm:ss tt", u"$", 0, 6},
    {0x1409, u"English", u"ENZ", u"en", u"NZ", u"New Zealand", u"NZL", 64, u".", u",", u"d/MM/yyyy", u"dddd, d MMMM yyyy", u"h:mm:ss tt", u"$", 0, 0},
    {0x1809, u"English", u"ENI", u"en", u"IE", u"Ireland", u"IRL", 353, u".", u",", u"dd/MM/yyyy", u"dd MMMM yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x1C09, u"English", u"ENS", u"en", u"ZA", u"South Africa", u"ZAF", 27, u".", u",", u"yyyy/MM/dd", u"dd MMMM yyyy", u"hh:mm:ss tt", u"R", 0, 6},
    {0x2009, u"English", u"ENJ", u"en", u"JM", u"Jamaica", u"JAM", 1, u".", u",", u"dd/MM/yyyy", u"dddd, MMMM dd, yyyy", u"hh:mm:ss tt", u"J$", 0, 6},
    {0x2409, u"English", u"ENB", u"en", u"029", u"Caribbean", u"CAR", 1, u".", u",", u"MM/dd/yyyy", u"dddd, MMMM dd, yyyy", u"hh:mm:ss tt", u"$", 0, 0},
    {0x2809, u"English", u"ENL", u"en", u"BZ", u"Belize", u"BLZ", 501, u".", u",", u"dd/MM/yyyy", u"dddd, MMMM dd, yyyy", u"hh:mm:ss tt", u"BZ$", 0, 6},
    {0x2C09, u"English", u"ENT", u"en", u"TT", u"Trinidad and Tobago", u"TTO", 1, u".", u",", u"dd/MM/yyyy", u"dddd, dd MMMM yyyy", u"hh:mm:ss tt", u"TT$", 0, 6, u"English (Trinidad)"},
    {0x3009, u"English", u"ENW", u"en", u"ZW", u"Zimbabwe", u"ZWE", 263, u".", u",", u"M/d/yyyy", u"dddd, MMMM dd, yyyy", u"h:mm:ss tt", u"Z$", 0, 6},
    {0x3409, u"English", u"ENP", u"en", u"PH", u"Republic of the Philippines", u"PHL", 63, u".", u",", u"M/d/yyyy", u"dddd, MMMM dd, yyyy", u"h:mm:ss tt", u"Php", 0, 6, u"English (Philippines)"},
    // French
    {0x040C, u"French", u"FRA", u"fr", u"FR", u"France", u"FRA", 33, u",", Nbsp, u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x080C, u"French", u"FRB", u"fr", u"BE", u"Belgium", u"BEL", 32, u",", u".", u"d/MM/yyyy", u"dddd d MMMM yyyy", u"H:mm:ss", Euro, 0, 0},
    {0x0C0C, u"French", u"FRC", u"fr", u"CA", u"Canada", u"CAN", 2, u",", Nbsp, u"yyyy-MM-dd", u"d MMMM yyyy", u"HH:mm:ss", u"$", 0, 6},
    {0x100C, u"French", u"FRS", u"fr", u"CH", u"Switzerland", u"CHE", 41, u".", u"'", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", u"SFr.", 0, 0},
    {0x140C, u"French", u"FRL", u"fr", u"LU", u"Luxembourg", u"LUX", 352, u",", Nbsp, u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x180C, u"French", u"FRM", u"fr", u"MC", u"Principality of Monaco", u"MCO", 377, u",", Nbsp, u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"HH:mm:ss", Euro, 0, 0, u"French (Monaco)"},
    // German
    {0x0407, u"German", u"DEU", u"de", u"DE", u"Germany", u"DEU", 49, u",", u".", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x0807, u"German", u"DES", u"de", u"CH", u"Switzerland", u"CHE", 41, u".", u"'", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", u"SFr.", 0, 0},
    {0x0C07, u"German", u"DEA", u"de", u"AT", u"Austria", u"AUT", 43, u",", u".", u"dd.MM.yyyy", u"dddd, dd. MMMM yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x1007, u"German", u"DEL", u"de", u"LU", u"Luxembourg", u"LUX", 352, u",", u".", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x1407, u"German", u"DEC", u"de", u"LI", u"Liechtenstein", u"LIE", 41, u".", u"'", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", u"CHF", 0, 0},
    // Spanish
    {0x040A, u"Spanish", u"ESP", u"es", u"ES", u"Spain", u"ESP", 34, u",", u".", u"dd/MM/yyyy", EsLong, u"H:mm:ss", Euro, 0, 0, u"Spanish (Traditional Sort)"},
    {0x080A, u"Spanish", u"ESM", u"es", u"MX", u"Mexico", u"MEX", 52, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$", 0, 6},
    {0x0C0A, u"Spanish", u"ESN", u"es", u"ES", u"Spain", u"ESP", 34, u",", u".", u"dd/MM/yyyy", EsLong, u"H:mm:ss", Euro, 0, 0, u"Spanish (International Sort)"},
    {0x100A, u"Spanish", u"ESG", u"es", u"GT", u"Guatemala", u"GTM", 502, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"Q", 0, 6},
    {0x140A, u"Spanish", u"ESC", u"es", u"CR", u"Costa Rica", u"CRI", 506, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"\u20a1", 0, 0},
    {0x180A, u"Spanish", u"ESA", u"es", u"PA", u"Panama", u"PAN", 507, u".", u",", u"MM/dd/yyyy", EsLong, u"hh:mm:ss tt", u"B/.", 0, 6},
    {0x1C0A, u"Spanish", u"ESD", u"es", u"DO", u"Dominican Republic", u"DOM", 1, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"RD$", 0, 6},
    {0x200A, u"Spanish", u"ESV", u"es", u"VE", u"Venezuela", u"VEN", 58, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"Bs", 0, 6},
    {0x240A, u"Spanish", u"ESO", u"es", u"CO", u"Colombia", u"COL", 57, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$", 0, 6},
    {0x280A, u"Spanish", u"ESR", u"es", u"PE", u"Peru", u"PER", 51, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"S/.", 0, 6},
    {0x2C0A, u"Spanish", u"ESS", u"es", u"AR", u"Argentina", u"ARG", 54, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$", 0, 6},
    {0x300A, u"Spanish", u"ESF", u"es", u"EC", u"Ecuador", u"ECU", 593, u",", u".", u"dd/MM/yyyy", EsLong, u"H:mm:ss", u"$", 0, 6},
    {0x340A, u"Spanish", u"ESL", u"es", u"CL", u"Chile", u"CHL", 56, u",", u".", u"dd-MM-yyyy", EsLong, u"H:mm:ss", u"$", 0, 0},
    {0x380A, u"Spanish", u"ESY", u"es", u"UY", u"Uruguay", u"URY", 598, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$U", 0, 0},
    {0x3C0A, u"Spanish", u"ESZ", u"es", u"PY", u"Paraguay", u"PRY", 595, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"Gs", 0, 0},
    {0x400A, u"Spanish", u"ESB", u"es", u"BO", u"Bolivia", u"BOL", 591, u",", u".", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$b", 0, 0},
    {0x440A, u"Spanish", u"ESE", u"es", u"SV", u"El Salvador", u"SLV", 503, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$", 0, 6},
    {0x480A, u"Spanish", u"ESH", u"es", u"HN", u"Honduras", u"HND", 504, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"L.", 0, 6},
    {0x4C0A, u"Spanish", u"ESI", u"es", u"NI", u"Nicaragua", u"NIC", 505, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"C$", 0, 6},
    {0x500A, u"Spanish", u"ESU", u"es", u"PR", u"Puerto Rico", u"PRI", 1, u".", u",", u"dd/MM/yyyy", EsLong, u"hh:mm:ss tt", u"$", 0, 6},
    // Other Western European
    {0x0410, u"Italian", u"ITA", u"it", u"IT", u"Italy", u"ITA", 39, u",", u".", u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"H.mm.ss", Euro, 0, 0},
    {0x0810, u"Italian", u"ITS", u"it", u"CH", u"Switzerland", u"CHE", 41, u".", u"'", u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"HH:mm:ss", u"SFr.", 0, 0},
    {0x0413, u"Dutch", u"NLD", u"nl", u"NL", u"Netherlands", u"NLD", 31, u",", u".", u"d-M-yyyy", u"dddd d MMMM yyyy", u"H:mm:ss", Euro, 0, 0},
    {0x0813, u"Dutch", u"NLB", u"nl", u"BE", u"Belgium", u"BEL", 32, u",", u".", u"d/MM/yyyy", u"dddd d MMMM yyyy", u"H:mm:ss", Euro, 0, 0},
    {0x0416, u"Portuguese", u"PTB", u"pt", u"BR", u"Brazil", u"BRA", 55, u",", u".", u"d/M/yyyy", PtLong, u"H:mm:ss", u"R$", 0, 6},
    {0x0816, u"Portuguese", u"PTG", u"pt", u"PT", u"Portugal", u"PRT", 351, u",", u".", u"dd-MM-yyyy", PtLong, u"H:mm:ss", Euro, 0, 0},
    {0x042D, u"Basque", u"EUQ", u"eu", u"ES", u"Spain", u"ESP", 34, u",", u".", u"yyyy/MM/dd", u"dddd, yyyy.'eko' MMMM'k 'd", u"HH:mm:ss", Euro, 0, 0},
    {0x0403, u"Catalan", u"CAT", u"ca", u"ES", u"Spain", u"ESP", 34, u",", u".", u"dd/MM/yyyy", u"dddd, d' / 'MMMM' / 'yyyy", u"HH:mm:ss", Euro, 0, 0},
    {0x041D, u"Swedish", u"SVE", u"sv", u"SE", u"Sweden", u"SWE", 46, u",", Nbsp, u"yyyy-MM-dd", u"'den 'd MMMM yyyy", u"HH:mm:ss", u"kr", 0, 0},
    {0x0406, u"Danish", u"DAN", u"da", u"DK", u"Denmark", u"DNK", 45, u",", u".", u"dd-MM-yyyy", u"d. MMMM yyyy", u"HH:mm:ss", u"kr", 0, 0},
    {0x0414, u"Norwegian", u"NOR", u"nb", u"NO", u"Norway", u"NOR", 47, u",", Nbsp, u"dd.MM.yyyy", u"d. MMMM yyyy", u"HH:mm:ss", u"kr", 0, 0, u"Norwegian (Bokmal)"},
    {0x040B, u"Finnish", u"FIN", u"fi", u"FI", u"Finland", u"FIN", 358, u",", Nbsp, u"d.M.yyyy", u"d. MMMM'ta 'yyyy", u"H:mm:ss", Euro, 0, 0},
    // Central and Eastern European
    {0x0419, u"Russian", u"RUS", u"ru", u"RU", u"Russia", u"RUS", 7, u",", Nbsp, u"dd.MM.yyyy", u"d MMMM yyyy '\u0433.'", u"H:mm:ss", u"\u0440.", 0, 0},
    {0x0415, u"Polish", u"PLK", u"pl", u"PL", u"Poland", u"POL", 48, u",", Nbsp, u"yyyy-MM-dd", u"d MMMM yyyy", u"HH:mm:ss", u"z\u0142", 0, 0},
    {0x0405, u"Czech", u"CSY", u"cs", u"CZ", u"Czech Republic", u"CZE", 420, u",", Nbsp, u"d.M.yyyy", u"d. MMMM yyyy", u"H:mm:ss", u"K\u010d", 0, 0},
    {0x040E, u"Hungarian", u"HUN", u"hu", u"HU", u"Hungary", u"HUN", 36, u",", Nbsp, u"yyyy.MM.dd.", u"yyyy. MMMM d.", u"H:mm:ss", u"Ft", 0, 0},
    {0x0408, u"Greek", u"ELL", u"el", u"GR", u"Greece", u"GRC", 30, u",", u".", u"d/M/yyyy", u"dddd, d MMMM yyyy", u"h:mm:ss tt", Euro, 0, 0, nullptr, u"\u03c0\u03bc", u"\u03bc\u03bc"},
    {0x041F, u"Turkish", u"TRK", u"tr", u"TR", u"Turkey", u"TUR", 90, u",", u".", u"dd.MM.yyyy", u"dd MMMM yyyy dddd", u"HH:mm:ss", u"TL", 0, 0},
    // East and South-East Asian
    {0x0411, u"Japanese", u"JPN", u"ja", u"JP", u"Japan", u"JPN", 81, u".", u",", u"yyyy/MM/dd", CjkLong, u"H:mm:ss", u"\u00a5", 0, 6, nullptr, u"\u5348\u524d", u"\u5348\u5f8c"},
    {0x0804, u"Chinese", u"CHS", u"zh", u"CN", u"People's Republic of China", u"CHN", 86, u".", u",", u"yyyy-M-d", CjkLong, u"H:mm:ss", u"\u00a5", 0, 0, u"Chinese (PRC)", u"\u4e0a\u5348", u"\u4e0b\u5348"},
    {0x0404, u"Chinese", u"CHT", u"zh", u"TW", u"Taiwan", u"TWN", 886, u".", u",", u"yyyy/M/d", CjkLong, u"tt hh:mm:ss", u"NT$", 0, 6, nullptr, u"\u4e0a\u5348", u"\u4e0b\u5348"},
    {0x0C04, u"Chinese", u"ZHH", u"zh", u"HK", u"Hong Kong S.A.R.", u"HKG", 852, u".", u",", u"d/M/yyyy", u"dddd, d MMMM, yyyy", u"H:mm:ss", u"HK$", 0, 6},
    {0x1004, u"Chinese", u"ZHI", u"zh", u"SG", u"Singapore", u"SGP", 65, u".", u",", u"d/M/yyyy", u"dddd, d MMMM, yyyy", u"tt h:mm:ss", u"$", 0, 6},
    {0x1404, u"Chinese", u"ZHM", u"zh", u"MO", u"Macao S.A.R.", u"MAC", 853, u".", u",", u"d/M/yyyy", u"dddd, d MMMM, yyyy", u"H:mm:ss", u"MOP", 0, 6},
    {0x0412, u"Korean", u"KOR", u"ko", u"KR", u"Korea", u"KOR", 82, u".", u",", u"yyyy-MM-dd", u"yyyy'\ub144' M'\uc6d4' d'\uc77c' dddd", u"tt h:mm:ss", u"\u20a9", 0, 6, nullptr, u"\uc624\uc804", u"\uc624\ud6c4"},
    {0x041E, u"Thai", u"THA", u"th", u"TH", u"Thailand", u"THA", 66, u".", u",", u"d/M/yyyy", u"d MMMM yyyy", u"H:mm:ss", u"\u0e3f", 0, 0},
    // The invariant locale.
    {0x007F, u"Invariant Language", u"IVL", u"iv", u"IV", u"Invariant Country", u"IVC", 1, u".", u",", u"MM/dd/yyyy", u"dddd, dd MMMM yyyy", u"HH:mm:ss", u"\u00a4", 0, 6, u"Invariant Language (Invariant Country)"},
};

const LocaleRow* findRow(LANGID id) {
  for (const auto& row : Locales)
    if (row.id == id) return &row;
  return nullptr;
}

LCID factLocale(const char* name) {
  if (!platform::host::Host::available()) return 0x0409;
  std::string v = platform::host::Host::current().fact(name);
  char* end = nullptr;
  unsigned long id = std::strtoul(v.c_str(), &end, 16);
  return (end && *end == 0 && id != 0 && id <= 0xFFFFFFFFul) ? static_cast<LCID>(id) : 0x0409;
}

thread_local LCID t_threadLocale = 0;  // 0: the user default

// The row for a locale argument: the default-locale aliases resolved, a neutral sublanguage
// taken as the language's default one. Null for a locale Windows would not know.
const LocaleRow* resolveLocale(LCID locale) {
  LANGID lang = LANGIDFROMLCID(locale);
  if (lang == LANG_USER_DEFAULT || lang == LOCALE_NEUTRAL) lang = LANGIDFROMLCID(GetUserDefaultLCID());
  else if (lang == LANG_SYSTEM_DEFAULT) lang = LANGIDFROMLCID(GetSystemDefaultLCID());
  if (SUBLANGID(lang) == SUBLANG_NEUTRAL && PRIMARYLANGID(lang) != LANG_INVARIANT)
    lang = MAKELANGID(PRIMARYLANGID(lang), SUBLANG_DEFAULT);
  return findRow(lang);
}

std::u16string hex4(unsigned v) { return platform::fmt::format(u"%04x", v); }
std::u16string decimal(long v) { return platform::fmt::format(u"%ld", v); }

// The first separator of a date or time picture ("/" of "M/d/yyyy").
std::u16string separatorOf(std::u16string_view picture) {
  bool quoted = false;
  for (char16_t c : picture) {
    if (c == u'\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u' ')) return std::u16string(1, c);
  }
  return u"";
}

bool hasMarker(const LocaleRow& r) { return std::u16string_view(r.timeFormat).find(u't') != std::u16string_view::npos; }

// The value of one item, as text; *number gets the numeric value of numeric items.
// False for an item this layer does not know.
bool localeItem(const LocaleRow& r, LCTYPE type, std::u16string& out, bool& isNumber, DWORD& number) {
  isNumber = false;
  auto num = [&](DWORD v, std::u16string s) {
    isNumber = true;
    number = v;
    out = std::move(s);
  };
  switch (type) {
    case LOCALE_ILANGUAGE:
    case LOCALE_IDEFAULTLANGUAGE: num(r.id, hex4(r.id)); break;
    case LOCALE_SLANGUAGE:
      out = r.display ? std::u16string(r.display) : std::u16string(r.language) + u" (" + r.country + u")";
      break;
    case LOCALE_SENGLANGUAGE: out = r.language; break;
    case LOCALE_SABBREVLANGNAME: out = r.abbrevLang; break;
    case LOCALE_SISO639LANGNAME: out = r.iso639; break;
    case LOCALE_SISO3166CTRYNAME: out = r.iso3166; break;
    case LOCALE_SCOUNTRY:
    case LOCALE_SENGCOUNTRY: out = r.country; break;
    case LOCALE_SABBREVCTRYNAME: out = r.abbrevCtry; break;
    case LOCALE_ICOUNTRY:
    case LOCALE_IDEFAULTCOUNTRY: num(static_cast<DWORD>(r.dialCode), decimal(r.dialCode)); break;
    case LOCALE_IDEFAULTANSICODEPAGE: {
      UINT cp = r.id == 0x007F ? 1252 : text::ansiCodePageOf(r.id);
      num(cp, decimal(static_cast<long>(cp)));
      break;
    }
    case LOCALE_IDEFAULTCODEPAGE: {
      UINT cp = r.id == 0x007F ? 437 : text::oemCodePageOf(r.id);
      num(cp, decimal(static_cast<long>(cp)));
      break;
    }
    case LOCALE_SDECIMAL: out = r.decimal; break;
    case LOCALE_STHOUSAND: out = r.thousand; break;
    case LOCALE_SLIST: out = std::u16string_view(r.decimal) == u"," ? u";" : u","; break;
    case LOCALE_IMEASURE: num(static_cast<DWORD>(r.measure), decimal(r.measure)); break;
    case LOCALE_SCURRENCY: out = r.currency; break;
    case LOCALE_SSHORTDATE: out = r.shortDate; break;
    case LOCALE_SLONGDATE: out = r.longDate; break;
    case LOCALE_STIMEFORMAT: out = r.timeFormat; break;
    case LOCALE_SDATE: out = separatorOf(r.shortDate); break;
    case LOCALE_STIME: out = separatorOf(r.timeFormat); break;
    case LOCALE_S1159: out = r.am ? r.am : hasMarker(r) ? u"AM" : u""; break;
    case LOCALE_S2359: out = r.pm ? r.pm : hasMarker(r) ? u"PM" : u""; break;
    case LOCALE_IFIRSTDAYOFWEEK: num(static_cast<DWORD>(r.firstDay), decimal(r.firstDay)); break;
    default: return false;
  }
  return true;
}

// ---- comparison --------------------------------------------------------------------------------

int sortClass(char16_t c) {
  if (platform::wcrt::isAlpha(c)) return 2;
  if (platform::wcrt::isDigit(c)) return 1;
  return 0;
}

int compareWords(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int ca = sortClass(a[i]), cb = sortClass(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
    char16_t ua = text::upcase(a[i]), ub = text::upcase(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  if (ignoreCase) return 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    bool la = platform::wcrt::isLower(a[i]), lb = platform::wcrt::isLower(b[i]);
    if (la != lb) return la ? -1 : 1;  // lower case first, as word sort orders them
    return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

int compareNullable(const void* a, const void* b) {
  if (!a && !b) return 0;
  return a ? 1 : -1;
}

std::u16string wideOf(LPCSTR s) { return text::ansiToWide(s ? std::string_view(s) : std::string_view()); }

// ---- conversion helpers ------------------------------------------------------------------------

UINT realCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP: return text::ansiCodePage();
    case CP_OEMCP: return text::oemCodePage();
    case CP_THREAD_ACP: return text::ansiCodePageOf(GetThreadLocale());
    case CP_MACCP: return 10000;
    default: return codePage;
  }
}

// Copies a converted result to the caller's buffer by the rules shared by both directions.
template <class C>
int deliver(const std::basic_string<C>& result, C* out, int capacity) {
  if (capacity == 0) return static_cast<int>(result.size());
  if (result.size() > static_cast<std::size_t>(capacity)) {
    std::copy(result.begin(), result.begin() + capacity, out);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(result.begin(), result.end(), out);
  return static_cast<int>(result.size());
}

}  // namespace

// ---- code pages -------------------------------------------------------------------------------

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (!lpWideCharStr && cchWideChar != 0) ||
      (lpWideCharStr && static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const UINT cp = realCodePage(CodePage);
  if (cp == CP_UTF8 || cp == CP_UTF7) {
    if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  } else if ((dwFlags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS)) ||
             ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const std::size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  std::string_view bytes(lpMultiByteStr, length);
  std::u16string result;
  bool invalid = false;
  if (cp == CP_SYMBOL) {
    // The symbol code page puts the bytes 0x20-0xFF into the private area at U+F020.
    for (unsigned char b : bytes) result += static_cast<char16_t>(b < 0x20 ? b : 0xF000 + b);
  } else if (!text::decode(cp, bytes, result, &invalid)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (invalid && (dwFlags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return deliver(result, lpWideCharStr, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (!lpMultiByteStr && cbMultiByte != 0) ||
      (lpMultiByteStr && static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const UINT cp = realCodePage(CodePage);
  if (cp == CP_UTF8 || cp == CP_UTF7) {
    if (lpDefaultChar || lpUsedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (dwFlags) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  } else if (dwFlags & ~static_cast<DWORD>(WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                                           WC_NO_BEST_FIT_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const std::size_t length = cchWideChar == -1 ? text::length(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
  std::u16string_view units(lpWideCharStr, length);
  std::string def;
  if (lpDefaultChar && *lpDefaultChar) {
    def = lpDefaultChar[0];
    if (text::isLeadByte(cp, static_cast<unsigned char>(lpDefaultChar[0])) && lpDefaultChar[1]) def += lpDefaultChar[1];
  }
  std::string result;
  bool used = false;
  if (cp == CP_SYMBOL) {
    for (char16_t c : units) {
      if (c < 0x20) result += static_cast<char>(c);
      else if (c >= 0xF020 && c <= 0xF0FF) result += static_cast<char>(c - 0xF000);
      else if (c < 0x100) result += static_cast<char>(c);
      else {
        result += def.empty() ? std::string("?") : def;
        used = true;
      }
    }
  } else if (!text::encode(cp, units, result, def, &used)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = used ? TRUE : FALSE;
  return deliver(result, lpMultiByteStr, cbMultiByte);
}

UINT GetACP() { return text::ansiCodePage(); }
UINT GetOEMCP() { return text::oemCodePage(); }

BOOL IsValidCodePage(UINT CodePage) {
  if (CodePage == CP_ACP || CodePage == CP_OEMCP || CodePage == CP_MACCP || CodePage == CP_THREAD_ACP) return FALSE;
  return CodePage == CP_SYMBOL || text::codePageSupported(CodePage) ? TRUE : FALSE;
}

BOOL GetCPInfo(UINT CodePage, LPCPINFO lpCPInfo) {
  const UINT cp = realCodePage(CodePage);
  if (!lpCPInfo || (cp != CP_SYMBOL && !text::codePageSupported(cp))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memset(lpCPInfo, 0, sizeof *lpCPInfo);
  lpCPInfo->MaxCharSize = cp == CP_UTF8 ? 4 : 1;
  lpCPInfo->DefaultChar[0] = '?';
  // Lead byte ranges as pairs, ended by a zero pair.
  std::size_t k = 0;
  for (unsigned b = 0x80; b < 0x100 && k + 2 <= MAX_LEADBYTES - 2; ++b) {
    if (!text::isLeadByte(cp, static_cast<unsigned char>(b))) continue;
    unsigned end = b;
    while (end + 1 < 0x100 && text::isLeadByte(cp, static_cast<unsigned char>(end + 1))) ++end;
    lpCPInfo->LeadByte[k++] = static_cast<BYTE>(b);
    lpCPInfo->LeadByte[k++] = static_cast<BYTE>(end);
    lpCPInfo->MaxCharSize = 2;
    b = end;
  }
  return TRUE;
}

BOOL IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
  return text::isLeadByte(realCodePage(CodePage), TestChar) ? TRUE : FALSE;
}

BOOL IsDBCSLeadByte(BYTE TestChar) { return IsDBCSLeadByteEx(CP_ACP, TestChar); }

// ---- locales ----------------------------------------------------------------------------------

LCID GetUserDefaultLCID() { return factLocale(platform::host::fact::UserLocale); }
LCID GetSystemDefaultLCID() { return factLocale(platform::host::fact::SystemLocale); }
LANGID GetUserDefaultLangID() { return LANGIDFROMLCID(GetUserDefaultLCID()); }
LANGID GetSystemDefaultLangID() { return LANGIDFROMLCID(GetSystemDefaultLCID()); }
LANGID GetUserDefaultUILanguage() { return GetSystemDefaultLangID(); }
LANGID GetSystemDefaultUILanguage() { return GetSystemDefaultLangID(); }

LCID GetThreadLocale() { return t_threadLocale ? t_threadLocale : GetUserDefaultLCID(); }

BOOL SetThreadLocale(LCID Locale) {
  if (!resolveLocale(Locale)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_threadLocale = MAKELCID(resolveLocale(Locale)->id, SORTIDFROMLCID(Locale));
  return TRUE;
}

BOOL IsValidLocale(LCID Locale, DWORD dwFlags) {
  if (dwFlags != LCID_INSTALLED && dwFlags != LCID_SUPPORTED) return FALSE;
  return findRow(LANGIDFROMLCID(Locale)) ? TRUE : FALSE;
}

int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
  if (cchData < 0 || (!lpLCData && cchData != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const LocaleRow* row = resolveLocale(Locale);
  if (!row) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool asNumber = (LCType & LOCALE_RETURN_NUMBER) != 0;
  const LCTYPE item = LCType & ~static_cast<LCTYPE>(LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP | LOCALE_RETURN_NUMBER);
  std::u16string value;
  bool isNumber = false;
  DWORD number = 0;
  if (!localeItem(*row, item, value, isNumber, number) || (asNumber && !isNumber)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (asNumber) {
    constexpr int units = sizeof(DWORD) / sizeof(WCHAR);
    if (cchData == 0) return units;
    if (cchData < units) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(lpLCData, &number, sizeof number);
    return units;
  }
  value += u'\0';
  if (cchData == 0) return static_cast<int>(value.size());
  if (value.size() > static_cast<std::size_t>(cchData)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(value.begin(), value.end(), lpLCData);
  return static_cast<int>(value.size());
}

int GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  if (cchData < 0 || (!lpLCData && cchData != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int n = GetLocaleInfoW(Locale, LCType, nullptr, 0);
  if (n == 0) return 0;  // the error is set
  const LocaleRow* row = resolveLocale(Locale);
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  GetLocaleInfoW(Locale, LCType, wide.data(), n);
  std::string bytes;
  if (LCType & LOCALE_RETURN_NUMBER) {
    bytes.assign(reinterpret_cast<const char*>(wide.data()), sizeof(DWORD));
  } else {
    const UINT cp = (LCType & LOCALE_USE_CP_ACP) || row->id == 0x007F ? text::ansiCodePage() : text::ansiCodePageOf(row->id);
    text::encode(cp, wide, bytes);
  }
  if (cchData == 0) return static_cast<int>(bytes.size());
  if (bytes.size() > static_cast<std::size_t>(cchData)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpLCData, bytes.data(), bytes.size());
  return static_cast<int>(bytes.size());
}

// ---- string helpers ---------------------------------------------------------------------------

int lstrlenW(LPCWSTR lpString) { return lpString ? static_cast<int>(text::length(lpString)) : 0; }
int lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(std::strlen(lpString)) : 0; }

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return compareNullable(a, b);
  return compareWords(text::view(a), text::view(b), false);
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return compareNullable(a, b);
  return compareWords(text::view(a), text::view(b), true);
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return compareNullable(a, b);
  return compareWords(wideOf(a), wideOf(b), false);
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return compareNullable(a, b);
  return compareWords(wideOf(a), wideOf(b), true);
}

LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  return wcscpy(lpString1, lpString2);
}

LPSTR lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  return std::strcpy(lpString1, lpString2);
}

LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  return wcscat(lpString1, lpString2);
}

LPSTR lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  return std::strcat(lpString1, lpString2);
}

namespace {

bool isSingleChar(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) >> 16) == 0; }

// Case-maps 8-bit text in the ANSI code page in place; a character whose other case would change
// the byte length (a different number of bytes) stays as it is.
void mapAnsi(char* s, std::size_t n, bool upper) {
  const UINT cp = text::ansiCodePage();
  std::size_t i = 0;
  while (i < n) {
    std::size_t len = (text::isLeadByte(cp, static_cast<unsigned char>(s[i])) && i + 1 < n) ? 2 : 1;
    std::u16string w;
    bool invalid = false;
    text::decode(cp, std::string_view(s + i, len), w, &invalid);
    if (invalid) {
      i += len;
      continue;
    }
    for (auto& c : w) c = upper ? platform::wcrt::toUpper(c) : platform::wcrt::toLower(c);
    std::string back;
    bool used = false;
    text::encode(cp, w, back, {}, &used);
    if (!used && back.size() == len) std::memcpy(s + i, back.data(), len);
    i += len;
  }
}

char mapAnsiChar(char c, bool upper) {
  mapAnsi(&c, 1, upper);
  return c;
}

}  // namespace

LPWSTR CharUpperW(LPWSTR lpsz) {
  if (isSingleChar(lpsz)) {
    char16_t c = static_cast<char16_t>(reinterpret_cast<std::uintptr_t>(lpsz));
    return reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(platform::wcrt::toUpper(c)));
  }
  _wcsupr(lpsz);
  return lpsz;
}

LPWSTR CharLowerW(LPWSTR lpsz) {
  if (isSingleChar(lpsz)) {
    char16_t c = static_cast<char16_t>(reinterpret_cast<std::uintptr_t>(lpsz));
    return reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(platform::wcrt::toLower(c)));
  }
  _wcslwr(lpsz);
  return lpsz;
}

LPSTR CharUpperA(LPSTR lpsz) {
  if (isSingleChar(lpsz)) {
    char c = static_cast<char>(reinterpret_cast<std::uintptr_t>(lpsz) & 0xFF);
    return reinterpret_cast<LPSTR>(static_cast<std::uintptr_t>(static_cast<unsigned char>(mapAnsiChar(c, true))));
  }
  mapAnsi(lpsz, std::strlen(lpsz), true);
  return lpsz;
}

LPSTR CharLowerA(LPSTR lpsz) {
  if (isSingleChar(lpsz)) {
    char c = static_cast<char>(reinterpret_cast<std::uintptr_t>(lpsz) & 0xFF);
    return reinterpret_cast<LPSTR>(static_cast<std::uintptr_t>(static_cast<unsigned char>(mapAnsiChar(c, false))));
  }
  mapAnsi(lpsz, std::strlen(lpsz), false);
  return lpsz;
}

DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = platform::wcrt::toUpper(lpsz[i]);
  return cchLength;
}

DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = platform::wcrt::toLower(lpsz[i]);
  return cchLength;
}

DWORD CharUpperBuffA(LPSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  mapAnsi(lpsz, cchLength, true);
  return cchLength;
}

DWORD CharLowerBuffA(LPSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  mapAnsi(lpsz, cchLength, false);
  return cchLength;
}

LPWSTR CharNextW(LPCWSTR lpsz) {
  if (!lpsz) return nullptr;
  return const_cast<LPWSTR>(*lpsz ? lpsz + 1 : lpsz);
}

LPWSTR CharPrevW(LPCWSTR lpszStart, LPCWSTR lpszCurrent) {
  if (!lpszStart || !lpszCurrent) return nullptr;
  return const_cast<LPWSTR>(lpszCurrent > lpszStart ? lpszCurrent - 1 : lpszStart);
}

LPSTR CharNextA(LPCSTR lpsz) {
  if (!lpsz) return nullptr;
  if (!*lpsz) return const_cast<LPSTR>(lpsz);
  if (text::isLeadByte(text::ansiCodePage(), static_cast<unsigned char>(*lpsz)) && lpsz[1]) return const_cast<LPSTR>(lpsz + 2);
  return const_cast<LPSTR>(lpsz + 1);
}

LPSTR CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
  if (!lpszStart || !lpszCurrent) return nullptr;
  LPCSTR p = lpszStart;
  LPCSTR prev = lpszStart;
  while (p < lpszCurrent && *p) {
    prev = p;
    p = CharNextA(p);
  }
  return const_cast<LPSTR>(prev);
}

BOOL IsCharAlphaW(WCHAR ch) { return platform::wcrt::isAlpha(ch) ? TRUE : FALSE; }
BOOL IsCharAlphaNumericW(WCHAR ch) { return platform::wcrt::isAlpha(ch) || platform::wcrt::isDigit(ch) ? TRUE : FALSE; }
BOOL IsCharUpperW(WCHAR ch) { return platform::wcrt::isUpper(ch) ? TRUE : FALSE; }
BOOL IsCharLowerW(WCHAR ch) { return platform::wcrt::isLower(ch) ? TRUE : FALSE; }

BOOL IsCharAlphaA(CHAR ch) {
  std::u16string w = text::ansiToWide(std::string_view(&ch, 1));
  return w.size() == 1 ? IsCharAlphaW(w[0]) : FALSE;
}

BOOL IsCharAlphaNumericA(CHAR ch) {
  std::u16string w = text::ansiToWide(std::string_view(&ch, 1));
  return w.size() == 1 ? IsCharAlphaNumericW(w[0]) : FALSE;
}
