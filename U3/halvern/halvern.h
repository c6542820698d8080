// Halvern, the program the U3 launch pad runs with one command word: the command-line split and
// dispatch, the language choice, the usage text and the string loader (halvern.cpp), the device
// and host commands (commands.cpp) and the customization file's integrity hash (xml_hash.cpp).
// Everything runs on the one thread of a windowless program; user texts come from the language
// library by id.
#pragma once

#include "lang/ids.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/registry.h"

// Internal results of runCommand (the process itself always exits with 0).
enum HalvernResult : int {
  kHalvernOk = 0,
  kHalvernFailed = 1,
  kHalvernUsage = 2,
  kHalvernNoLanguage = 3,
  kHashFileMissing = 4,
  kHashFileNotXml = 5,
  kHashNotStored = 6,
  kHashMismatch = 7,
  kHashNotSaved = 9,
};

// Runs one command line (program name excluded); see HalvernResult. An empty line prints the
// usage text before any language library is loaded.
int runCommand(const CString& commandLine);

// The language-library code for the user interface: "U3_ENV_LANGUAGE" (a decimal locale id)
// when set and not empty, else the user locale, looked up in the locale table; empty when no
// row has that language id.
CString getU3LanguageCode();

// The string of `id` from the language library; when it has none, an error box "Unable to load
// resource string" and an empty text.
CString loadHalvernString(UINT id);

// Writes the four usage lines to standard output.
void printUsage();

// An error box (or another icon given in `style`) with a language-library string.
int showHalvernMessage(UINT id, UINT style);

// ---- commands (commands.cpp) ----

// "-s": posts WM_CLOSE to the main program's frame, waits for it to end (terminating it when it
// will not), then removes "%APPDATA%\Brackwater". Returns the post's result, 0 when the host
// folder does not exist, or the last error code when no frame window exists.
int stopMainProgram();
// False when the process ended within the first wait of 80,000 ms, true otherwise (it was then
// given 80,000 ms more and terminated when still running).
bool waitForProcessEnd(DWORD processId);
// Runs "cmd /C rmdir "<folder>" /S /Q"; true when the interpreter ran.
bool removeFolderTree(const CString& folder);
// Starts the command line hidden and waits for it without a limit; on a failed start prints
// message 868 with the error code and returns false. The command's exit code is not examined.
bool runHidden(const CString& commandLine);
// Deletes the key and all its subkeys; true when they are gone or never were there.
bool deleteRegistryTree(HKEY root, const CString& subKey);
// "-c": result 0, or 1 after message 870.
int cleanUpHost();
// "-d": result 0 or 1.
int uninstallDeviceData();
// "RemoveKeyContainer": 0 when the user's default container is gone, else its error code.
DWORD deleteDefaultKeyContainer();
int removeKeyContainer();
// "-UpgradeKipo": 0 moved or nothing to move, 1 the move did not start.
int moveSynchronizedComputers();

// ---- the customization file's integrity hash (xml_hash.cpp) ----

// Signs (create) or verifies the XML file; 0 or one of the kHash* results, each failure after its
// message box (a missing file has none).
int createOrVerifyXmlHash(const CString& path, bool create);
