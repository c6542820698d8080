// CSnapinPropertyPage: an options page tied to one snap-in, with the common-properties panel.
// Every change of a setting marks the snap-in's preferences for this computer changed and asks
// the run coordinator for a new calculation; Apply saves the snap-in's preferences for this
// computer, Cancel reloads them.
#pragma once

#include <memory>

#include "platform/afx/afxwin.h"
#include "platform/afx/propsheet.h"
#include "ui/snapin_common_page.h"

class CCustomizer;
class CCustomizerDoc;
class CSpaceRecord;
class CSystemProfile;

class CSnapinPropertyPage : public CPropertyPage {
  DECLARE_DYNAMIC(CSnapinPropertyPage)

 public:
  CSnapinPropertyPage();
  CSnapinPropertyPage(UINT templateId, CCustomizer* snapin);
  ~CSnapinPropertyPage() override;

  BOOL OnInitDialog() override;
  void OnCancel() override;
  BOOL OnApply() override;
  BOOL OnSetActive() override;
  BOOL OnKillActive() override;
  BOOL DestroyWindow() override;

  // A setting changed.
  virtual void setModified();
  // Reloads the page's controls from the snap-in's preferences.
  virtual void refreshCommon();
  // Reads the page's controls back.
  virtual void pullCommon();
  virtual void recalculate();

  bool isModified() const { return m_modified; }
  CSpaceRecord* spaceRecord() const { return m_spaceRecord; }
  CSystemProfile* profile() const { return m_profile; }
  CCustomizer* snapin() const { return m_snapin; }
  CSnapinCommonPropertiesDialog& commonPanel() { return m_common; }

 protected:
  CSnapinCommonPropertiesDialog m_common;
  CCustomizer* m_snapin = nullptr;
  CSystemProfile* m_profile = nullptr;
  CSpaceRecord* m_spaceRecord = nullptr;
  bool m_modified = false;
  bool m_initialised = false;
};
