// The customization file (customization.h): reading, branding, presets, writing back, and the
// integrity hash shared with the U3 utility.
#include "app/customization.h"

#include <string>

#include "app/crypto_context.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/base/text.h"
#include "platform/base/wcrt.h"
#include "platform/win32/crypt.h"
#include "platform/win32/file.h"
#include "platform/win32/system.h"

namespace {

// Where each value lives in the file.
constexpr const char16_t* kSupportUrlPath = u"Kipo/U3_Customization/OEMCustomer/support/@url";
constexpr const char16_t* kSupportEmailPath = u"Kipo/U3_Customization/OEMCustomer/support/@email";
constexpr const char16_t* kCompanyPath = u"Kipo/U3_Customization/OEMCustomer/@company";
constexpr const char16_t* kUpdateUrlPath = u"Kipo/U3_Customization/UpgradeURL/@updateURL";
constexpr const char16_t* kHomePath = u"Kipo/U3_Customization/UpgradeURL/@home";
constexpr const char16_t* kApplicationNamePath = u"Kipo/U3_Customization/OEMCustomer/application/@name";
constexpr const char16_t* kExeIconPath = u"Kipo/U3_Customization/OEMCustomer/application/@exeicon";
constexpr const char16_t* kTrayIconPath = u"Kipo/U3_Customization/OEMCustomer/application/@trayicon";
constexpr const char16_t* kCaptionIconPath = u"Kipo/U3_Customization/OEMCustomer/application/@captionicon";
constexpr const char16_t* kLogoPath = u"Kipo/U3_Customization/OEMCustomer/@LogoFile";
constexpr const char16_t* kU3VendorLogoPath = u"Kipo/U3_Customization/OEMCustomer/U3Vendor/@LogoFile";
constexpr const char16_t* kPulldownPath = u"Kipo/U3_Customization/OEMCustomer/application/@pulldownbmp";
constexpr const char16_t* kDeviceNamePath = u"Kipo/U3_Customization/OEMCustomer/device/@name";
constexpr const char16_t* kMakerUrlPath = u"Kipo/U3_Customization/OEMCustomer/@url";
constexpr const char16_t* kU3VendorUrlPath = u"Kipo/U3_Customization/OEMCustomer/U3Vendor/@url";
constexpr const char16_t* kLanguagesPath = u"Kipo/U3_Customization/SupportedLanguages/language/@lcid";
constexpr const char16_t* kSoftwareUpdatePath = u"Kipo/U3_Customization/SupportedProducts/@SoftwareUpdateEnabled";
constexpr const char16_t* kVeskSecurityPath = u"Kipo/U3_Customization/SupportedProducts/@VeskSecurityEnabled";
constexpr const char16_t* kProductsPath = u"Kipo/U3_Customization/UpgradeURL/KipoProduct";
constexpr const char16_t* kDefaultSettingsPath = u"Kipo/U3_Customization/Synchronization/DefaultSettings";

constexpr const char16_t* kCompanyFolder = u"Brackwater";

// Reads a value into `field` when the node exists.
bool readText(CXMLHelper& xml, const char16_t* path, CString& field) {
  CString value;
  if (!xml.getText(CString(path), value)) return false;
  field = std::move(value);
  return true;
}

// The values that work both ways: a non-empty one in the file replaces the program-wide text; an
// empty or missing one leaves the program-wide text and is copied from it.
void readBothWays(CXMLHelper& xml, const char16_t* path, CString& field, CString& programText) {
  CString value;
  if (xml.getText(CString(path), value) && !value.IsEmpty()) {
    field = value;
    programText = value;
  } else {
    field = programText;
  }
}

// The i-th (from 1) element the path selects, as an XPath.
CString nthPath(const char16_t* elements, std::size_t index, const char16_t* attribute) {
  return formatMessageText(u"(%s)[%d]/@%s", elements, static_cast<int>(index), attribute);
}

CString environmentValue(const char16_t* name) {
  WCHAR buffer[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
  if (length == 0 || length >= std::size(buffer)) return CString();
  return CString(std::u16string_view(buffer, length));
}

void showPlainBox(UINT textId) {
  showMessageBox(nullptr, loadResString(textId), loadResString(IDS_CUSTOMIZATION_CAPTION), MB_OK);
}

}  // namespace

// ---- the integrity hash ----------------------------------------------------------------------------

CString hashNodeMarkup(const CString& markup) {
  // The first N bytes of the UTF-16LE text, N = its length in characters.
  const std::u16string& text = markup.str();
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  const DWORD hashLength = static_cast<DWORD>(text.size());
  CCryptoContext context(nullptr, CCryptoContext::kBaseProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  WCHAR hex[33] = {};
  if (!context.isAcquired() || !context.hashToHex(bytes.data(), hashLength, hex, sizeof hex)) return CString();
  return CString(hex);
}

CString computeCustomizationHash(CXMLHelper& document) {
  CString reftag;
  if (!document.getText(CString(kHashRefTagPath), reftag)) reftag = kDefaultHashedNodePath;
  CString markup;
  if (!document.getNodeXml(reftag, markup)) markup.Empty();
  return hashNodeMarkup(markup);
}

bool customizationHashMatches(const CString& stored, const CString& computed) {
  return !computed.IsEmpty() && stored.CompareNoCase(computed) == 0;
}

// ---- CU3CustomConfig --------------------------------------------------------------------------------

CU3CustomConfig::~CU3CustomConfig() {
  for (HICON* icon : {&trayIcon, &captionIcon})
    if (*icon) DestroyIcon(*icon);
  for (HBITMAP* bitmap : {&logoBitmap, &pulldownBitmap})
    if (*bitmap) DeleteObject(*bitmap);
}

void CU3CustomConfig::setPaths(const CString& folder, const CString& fileName) {
  configFolder = folder;
  if (configFolder.IsEmpty() || configFolder[configFolder.GetLength() - 1] != u'\\') configFolder += u"\\";
  configPath = joinPath(folder, fileName);
  userDataFolder = joinPath(joinPath(environmentValue(u"AppData"), CString(kCompanyFolder)), CString(kProductName));
  userDataFolder += u"\\";
}

CString CU3CustomConfig::getFileName(const CString& path) {
  const int slash = path.ReverseFind(u'\\');
  return slash < 0 ? path : path.Mid(slash + 1);
}

CString CU3CustomConfig::userDataPath(const CString& name) const { return userDataFolder + name; }

bool CU3CustomConfig::fileExists() const {
  const DWORD attributes = GetFileAttributesW(configPath);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

AllowedLanguages CU3CustomConfig::allowedLanguages() const { return AllowedLanguages(languages.begin(), languages.end()); }

void CU3CustomConfig::loadIcon(const CString& file, HICON& icon) {
  if (file.IsEmpty()) return;
  auto* loadedIcon = static_cast<HICON>(LoadImageW(nullptr, file, IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
  if (!loadedIcon) return;
  if (icon) DestroyIcon(icon);
  icon = loadedIcon;
}

void CU3CustomConfig::loadBitmap(const CString& file, HBITMAP& bitmap) {
  if (file.IsEmpty()) return;
  auto* loadedBitmap = static_cast<HBITMAP>(LoadImageW(nullptr, file, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
  if (!loadedBitmap) return;
  if (bitmap) DeleteObject(bitmap);
  bitmap = loadedBitmap;
}

bool CU3CustomConfig::loadXml(CXMLHelper& xml) {
  if (!fileExists() || !xml.load(configPath)) {
    showMessageById(IDS_CUSTOMIZATION_UNREADABLE, configPath);
    return false;
  }
  return true;
}

bool CU3CustomConfig::load() {
  CXMLHelper xml;
  if (!loadXml(xml)) return false;
  loaded = true;
  readBranding(xml);
  readImages(xml);
  readLists(xml);
  return true;
}

void CU3CustomConfig::readBranding(CXMLHelper& xml) {
  readBothWays(xml, kSupportUrlPath, supportAddress, g_supportWebAddress);
  readBothWays(xml, kSupportEmailPath, supportEmail, g_supportEmailAddress);
  readBothWays(xml, kCompanyPath, company, g_companyName);
  readBothWays(xml, kUpdateUrlPath, updateAddress, g_updateAddress);
  readBothWays(xml, kHomePath, homeAddress, g_homeAddress);
  // Found, even empty: the application is called that.
  if (readText(xml, kApplicationNamePath, applicationName)) g_applicationName = applicationName;
}

void CU3CustomConfig::readImages(CXMLHelper& xml) {
  CString name;
  auto readFile = [&](const char16_t* path, CString& field) {
    if (xml.getText(CString(path), name) && !name.IsEmpty()) field = userDataPath(name);
  };
  readFile(kExeIconPath, exeIconFile);
  readFile(kTrayIconPath, trayIconFile);
  loadIcon(trayIconFile, trayIcon);
  readFile(kCaptionIconPath, captionIconFile);
  loadIcon(captionIconFile, captionIcon);
  readFile(kLogoPath, logoFile);
  readFile(kU3VendorLogoPath, u3VendorLogoFile);
  loadBitmap(logoFile, logoBitmap);
  readFile(kPulldownPath, pulldownBitmapFile);
  loadBitmap(pulldownBitmapFile, pulldownBitmap);

  CString device;
  if (xml.getText(CString(kDeviceNamePath), device) && !device.IsEmpty()) {
    deviceName = device;
    g_deviceName = device;
  } else {
    CString builtIn;
    if (findChainString(IDS_DEFAULT_DEVICE_NAME, builtIn) && !builtIn.IsEmpty()) {
      deviceName = builtIn;
      g_deviceName = builtIn;
    }
  }
  if (readText(xml, kMakerUrlPath, makerAddress)) g_makerWebAddress = makerAddress;
  readText(xml, kU3VendorUrlPath, u3VendorAddress);
}

void CU3CustomConfig::readLists(CXMLHelper& xml) {
  std::vector<CString> texts;
  if (xml.getTexts(CString(kLanguagesPath), texts)) {
    for (const CString& text : texts) languages.push_back(static_cast<WORD>(_wtoi(text)));
  }
  CString value;
  if (xml.getText(CString(kSoftwareUpdatePath), value) && value.CompareNoCase(u"yes") == 0) softwareUpdateEnabled = true;
  if (xml.getText(CString(kVeskSecurityPath), value) && value.CompareNoCase(u"no") == 0) veskSecurityEnabled = false;

  // One record per element, so an element that lacks an attribute cannot shift the others.
  std::vector<std::vector<CString>> records;
  if (xml.getAttributeRecords(CString(kProductsPath), {CString(u"id"), CString(u"type")}, records)) {
    products.clear();
    for (auto& r : records) products.emplace_back(r[0], r[1]);
  }
  const std::vector<CString> settingNames = {CString(u"ItemName"), CString(u"IncludeRecentFiles"),
                                             CString(u"Recusive"), CString(u"DaysOld")};
  if (xml.getAttributeRecords(CString(kDefaultSettingsPath), settingNames, records)) {
    defaultSettings.clear();
    for (auto& r : records) defaultSettings.push_back({r[0], r[1], r[2], r[3]});
  }
}

bool CU3CustomConfig::getDefaultSyncSettings(const CString& itemName, bool& includeRecentFiles, bool& recursive,
                                             long& daysOld) const {
  auto isTrue = [](const CString& text) { return text == CString(u"true") || text == CString(u"1"); };
  for (const CDefaultSyncSetting& setting : defaultSettings) {
    if (setting.itemName != itemName) continue;
    includeRecentFiles = isTrue(setting.includeRecentFiles);
    recursive = isTrue(setting.recursive);
    daysOld = _wtol(setting.daysOld);
    return true;
  }
  return false;
}

bool CU3CustomConfig::verifySignature() {
  if (!fileExists()) {
    showMessageById(IDS_CUSTOMIZATION_UNREADABLE, configPath);
    return false;
  }
  bool verified = false;
  {
    CXMLHelper xml;
    if (xml.load(configPath)) {
      const CString computed = computeCustomizationHash(xml);
      CString stored;
      if (!xml.getText(CString(kHashValuePath), stored)) {
        showPlainBox(IDS_CUSTOMIZATION_DAMAGED);
      } else {
        verified = customizationHashMatches(stored, computed);
        if (!verified) writeLog(u"{U3CustomConfig}: The integrity hash of '%s' does not match its content.", configPath);
      }
    }
  }
  if (!verified) showMessageById(IDS_CUSTOMIZATION_VERIFY_FAILED, configPath);
  return verified;
}

void CU3CustomConfig::writeSignature() {
  if (!fileExists()) {
    showMessageById(IDS_CUSTOMIZATION_UNREADABLE, configPath);
    return;
  }
  bool signedFile = false;
  {
    CXMLHelper xml;
    if (xml.load(configPath)) {
      const CString hash = computeCustomizationHash(xml);
      if (hash.IsEmpty() || !xml.setText(CString(kHashValuePath), hash)) {
        showPlainBox(IDS_CUSTOMIZATION_HASH_NOT_SET);
      } else if (!xml.save(configPath)) {
        showPlainBox(IDS_CUSTOMIZATION_NOT_SAVED);
      } else {
        signedFile = true;
      }
    }
  }
  if (!signedFile) showMessageById(IDS_CUSTOMIZATION_SIGN_FAILED, configPath);
}

bool CU3CustomConfig::save() {
  CXMLHelper xml;
  if (!loadXml(xml)) return false;
  // Nodes that do not exist are skipped (the helper logs them); nothing is created.
  auto write = [&](const char16_t* path, const CString& value) { xml.setText(CString(path), value); };
  write(kSupportUrlPath, supportAddress);
  write(kSupportEmailPath, supportEmail);
  write(kCompanyPath, company);
  if (!updateAddress.IsEmpty()) write(kUpdateUrlPath, updateAddress);
  write(kHomePath, homeAddress);
  write(kApplicationNamePath, applicationName);
  write(kDeviceNamePath, deviceName);
  write(kExeIconPath, getFileName(exeIconFile));
  write(kTrayIconPath, getFileName(trayIconFile));
  write(kCaptionIconPath, getFileName(captionIconFile));
  write(kPulldownPath, getFileName(pulldownBitmapFile));
  write(kLogoPath, getFileName(logoFile));
  write(kU3VendorLogoPath, getFileName(u3VendorLogoFile));
  write(kMakerUrlPath, makerAddress);
  write(kU3VendorUrlPath, u3VendorAddress);
  if (!languages.empty()) {
    std::vector<CString> texts;
    for (WORD id : languages) texts.push_back(formatMessageText(u"%d", static_cast<int>(id)));
    xml.setTexts(CString(kLanguagesPath), texts);
  }
  for (std::size_t i = 0; i < products.size(); ++i) {
    xml.setText(nthPath(kProductsPath, i + 1, u"id"), products[i].first);
    xml.setText(nthPath(kProductsPath, i + 1, u"type"), products[i].second);
  }
  return xml.save(configPath);
}

bool matchLanguageToCustomization(CString& code, const CU3CustomConfig& config) {
  if (!config.loaded) return matchLanguageToCustomization(code, nullptr);
  const AllowedLanguages allowed = config.allowedLanguages();
  return matchLanguageToCustomization(code, &allowed);
}
