// The customization file's integrity hash as Halvern writes and checks it: the MD5 of the first
// hashLength bytes of the hashed node's UTF-16 serialization, where hashLength is the node text's
// length in code units (so only the first half of the text's bytes), as 32 hex digits. Files
// signed in the field depend on exactly this rule; the main program verifies by it too.
#include "U3/halvern/halvern.h"
#include "app/crypto_context.h"
#include "app/xml_helper.h"
#include "platform/win32/dialog.h"
#include "platform/win32/file.h"

namespace {

constexpr const char16_t* kReftagPath = u"Kipo/Signature/HashValue/@reftag";
constexpr const char16_t* kDefaultHashedPath = u"Kipo/U3_Customization";
constexpr const char16_t* kHashValuePath = u"Kipo/Signature/HashValue";

// The digits of the hashed node's data; false when no context or no hash could be made.
bool hashOfDocument(CXMLHelper& xml, CString& digits) {
  CString hashedPath;
  if (!xml.getText(CString(kReftagPath), hashedPath)) hashedPath = kDefaultHashedPath;
  CString nodeText;
  if (!xml.getNodeXml(hashedPath, nodeText)) nodeText.Empty();

  digits.Empty();
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  if (!context.isAcquired()) return false;
  char16_t output[CCryptoContext::kHexTextBytes / sizeof(char16_t)] = {};
  // The length in code units taken as a byte count: the first half of the text's bytes.
  const DWORD hashLength = static_cast<DWORD>(nodeText.GetLength());
  if (!context.hashToHex(nodeText.GetString(), hashLength, output, sizeof output)) return false;
  digits = output;
  return true;
}

int fail(UINT message, int result) {
  showHalvernMessage(message, MB_ICONERROR);
  return result;
}

}  // namespace

int createOrVerifyXmlHash(const CString& path, bool create) {
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return kHashFileMissing;
  CXMLHelper xml;
  if (!xml.load(path)) return fail(IDS_CUSTOMIZATION_READ_ERROR, kHashFileNotXml);
  CString digits;
  // A hash that could not be made is never stored nor compared: an empty text would be written
  // as the file's hash, or would match a file whose hash element is empty.
  if (!hashOfDocument(xml, digits)) return fail(IDS_CUSTOMIZATION_HASH_NOT_SET, kHashNotStored);
  if (create) {
    if (!xml.setText(CString(kHashValuePath), digits)) return fail(IDS_CUSTOMIZATION_HASH_NOT_SET, kHashNotStored);
    if (!xml.save(path)) return fail(IDS_CUSTOMIZATION_NOT_SAVED, kHashNotSaved);
    return kHalvernOk;
  }
  CString stored;
  if (!xml.getText(CString(kHashValuePath), stored)) return fail(IDS_CUSTOMIZATION_HASH_MISSING, kHashMismatch);
  if (stored.CompareNoCase(digits) != 0) return fail(IDS_CUSTOMIZATION_DAMAGED, kHashMismatch);
  return kHalvernOk;
}
