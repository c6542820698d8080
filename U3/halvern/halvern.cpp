// Halvern's start of a command: the split of the command line into word and argument, the
// language library for the run, the table of command words, the usage text and the string loader.
#include "U3/halvern/halvern.h"

#include <cstdio>

#include "app/lingrove.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "platform/afx/exception.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/base/wcrt.h"
#include "platform/win32/dialog.h"
#include "platform/win32/locale.h"
#include "platform/win32/system.h"

namespace {

constexpr const char* kUsageLines[] = {
    "*** Halvern.exe supports the following commands. ***",
    ">> Halvern.exe -s/-appStop",
    ">> Halvern.exe -c/-hostCleanUp",
    ">> Halvern.exe -d/-deviceUninstall",
};
constexpr const char16_t* kMissingStringText = u"Unable to load resource string";
constexpr const char16_t* kLanguageVariable = u"U3_ENV_LANGUAGE";
constexpr DWORD kLanguageBufferChars = 20;
constexpr UINT kExceptionTextChars = 1024;
// The language library Lingrove falls back to; given directly when no locale row matched, so the
// user locale (already consulted) is not asked a second time.
constexpr const char16_t* kFallbackLanguage = u"USA";

bool isBlank(char16_t c) { return c == u' '; }

// Leading blanks and double quotes, and trailing double quotes, removed.
CString trimmed(const CString& text) {
  int start = 0, end = text.GetLength();
  while (start < end && (isBlank(text[start]) || text[start] == u'"')) ++start;
  while (end > start && text[end - 1] == u'"') --end;
  return text.Mid(start, end - start);
}

int runWord(const CString& word, const CString& argument) {
  auto is = [&](const char16_t* name) { return word.CompareNoCase(name) == 0; };
  if (is(u"-s") || is(u"-appStop")) return stopMainProgram();
  if (is(u"-c") || is(u"-hostCleanUp")) return cleanUpHost();
  if (is(u"-d") || is(u"-deviceUninstall")) return uninstallDeviceData();
  if (is(u"-CreateHash") || is(u"-VerifyHash")) {
    if (argument.IsEmpty()) {
      printUsage();
      return kHalvernUsage;
    }
    return createOrVerifyXmlHash(argument, is(u"-CreateHash"));
  }
  if (is(u"RemoveKeyContainer")) return removeKeyContainer();
  if (is(u"-UpgradeKipo")) return moveSynchronizedComputers();
  return kHalvernFailed;
}

}  // namespace

void printUsage() {
  for (const char* line : kUsageLines) std::printf("%s\n", line);
  std::fflush(stdout);
}

CString getU3LanguageCode() {
  char16_t buffer[kLanguageBufferChars] = {};
  CString languageId;
  DWORD length = GetEnvironmentVariableW(kLanguageVariable, buffer, kLanguageBufferChars);
  if (length > 0 && length < kLanguageBufferChars) {
    languageId = formatMessageText(u"%04x", _wtoi(buffer));
  } else {
    char16_t locale[kLanguageBufferChars] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, locale, kLanguageBufferChars) > 0) languageId = locale;
  }
  for (int i = 0; g_localeTable[i].displayName[0] != u'\0'; ++i)
    if (languageId == g_localeTable[i].languageId) return CString(g_localeTable[i].productCode);
  return CString();
}

CString loadHalvernString(UINT id) {
  CString text;
  if (findChainString(id, text)) return text;
  showMessageBox(nullptr, CString(kMissingStringText), programCaption(), MB_ICONERROR);
  return CString();
}

int showHalvernMessage(UINT id, UINT style) {
  return showMessageBox(nullptr, loadHalvernString(id), programCaption(), style);
}

int runCommand(const CString& commandLine) {
  if (commandLine.IsEmpty()) {
    printUsage();
    return kHalvernUsage;
  }
  int blank = commandLine.Find(u' ');
  CString word = blank < 0 ? commandLine : commandLine.Left(blank);
  CString argument = blank < 0 ? CString() : trimmed(commandLine.Mid(blank));
  if (!word.IsEmpty()) word = trimmed(word);

  CString code = getU3LanguageCode();
  Lingrove language(code.IsEmpty() ? CString(kFallbackLanguage) : code, FALSE);
  if (!language.module) return kHalvernNoLanguage;
  try {
    return runWord(word, argument);
  } catch (CException* e) {
    char16_t message[kExceptionTextChars] = {};
    e->GetErrorMessage(message, kExceptionTextChars);
    e->Delete();
    showMessageBox(nullptr, CString(message), programCaption(), MB_ICONERROR);
    return kHalvernFailed;
  }
}
