// Finding the Outlook snap-in and its link (account_outlook_link.h).
#include "outlook/account_outlook_link.h"

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/preference_file.h"
#include "app/system_profile.h"
#include "snapins/customizer.h"

CCustomizer* findOutlookSnapin(CCustomizerDoc* document) {
  return document ? document->findCustomizer(CString(kOutlookSnapinName)) : nullptr;
}

COutlookSnapinLink* outlookLinkOf(CCustomizer* outlook) { return dynamic_cast<COutlookSnapinLink*>(outlook); }

CString outlookPrefsKeyFor(CSystemProfile* profile) {
  if (!profile) return CString();
  return joinPath(CPreferenceFile::getComputerPrefsPath(*profile), CString(kOutlookSnapinName));
}
