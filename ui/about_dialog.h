// CAboutDialog: the about box: the product's name and version, the maker's contact text, and two
// logos that are links: the maker's, and the customer's named by the customization.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_common.h"
#include "ui/autosize_bitmap_hlink_ctrl.h"

// The maker's web site, the target of its logo (and the customer's when the customization names
// no address of its own).
inline constexpr char16_t kMakerWebSite[] = u"http://www.brackwater.com";

class CAboutDialog : public CDialog {
 public:
  explicit CAboutDialog(CWnd* parent = nullptr);
  BOOL OnInitDialog() override;

  CAutosizeBitmapHLinkCtrl m_makerLink;
  CToolTipCtrl m_makerTip;
  CAutosizeBitmapHLinkCtrl m_customerLink;
  CToolTipCtrl m_customerTip;

 private:
  // Makes `link` in the place of the static `placeId`, pointing at `url`, with its tooltip.
  bool placeLink(CAutosizeBitmapHLinkCtrl& link, CToolTipCtrl& tip, int placeId, const CString& url);
};
