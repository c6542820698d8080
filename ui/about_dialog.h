// CAboutDialog: the about box: the product's name and version and the maker's contact text.
#pragma once

#include "platform/afx/afxwin.h"

class CAboutDialog : public CDialog {
 public:
  explicit CAboutDialog(CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
};
