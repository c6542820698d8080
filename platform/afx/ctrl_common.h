// The class library's wrappers of the progress bar, tab, animation and tooltip controls:
// CProgressCtrl, CTabCtrl, CAnimateCtrl, CToolTipCtrl.
#pragma once

#include "platform/afx/ctrl_imagelist.h"
#include "platform/afx/wnd.h"
#include "platform/win32/controls/commctrl.h"

class CProgressCtrl : public CWnd {
  DECLARE_DYNAMIC(CProgressCtrl)

 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  void SetRange(short nLower, short nUpper);
  void SetRange32(int nLower, int nUpper);
  void GetRange(int& nLower, int& nUpper) const;
  // Each returns the position before.
  int SetPos(int nPos);
  int GetPos() const;
  int OffsetPos(int nPos);
  int SetStep(int nStep);
  int StepIt();
};

class CTabCtrl : public CWnd {
  DECLARE_DYNAMIC(CTabCtrl)

 public:
  CTabCtrl() = default;
  ~CTabCtrl() override;
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  LONG InsertItem(int nItem, TCITEM* pTabCtrlItem);
  LONG InsertItem(int nItem, LPCWSTR lpszItem);
  LONG InsertItem(int nItem, LPCWSTR lpszItem, int nImage);
  LONG InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, int nImage, LPARAM lParam);
  BOOL DeleteItem(int nItem);
  BOOL DeleteAllItems();
  int GetItemCount() const;
  int GetCurSel() const;
  // The tab current before, or -1.
  int SetCurSel(int nItem);
  int GetCurFocus() const;
  void SetCurFocus(int nItem);
  BOOL GetItem(int nItem, TCITEM* pTabCtrlItem) const;
  BOOL SetItem(int nItem, TCITEM* pTabCtrlItem);
  BOOL GetItemRect(int nItem, LPRECT lpRect) const;
  // bLarger FALSE: the display area of a window rectangle; TRUE: the window for a display area.
  void AdjustRect(BOOL bLarger, LPRECT lpRect);
  CImageList* SetImageList(CImageList* pImageList);
  CImageList* GetImageList() const;

 private:
  mutable CImageList m_previous;
};

class CAnimateCtrl : public CWnd {
  DECLARE_DYNAMIC(CAnimateCtrl)

 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  // A clip file, or an "AVI" resource of the resource module.
  BOOL Open(LPCWSTR lpszFileName);
  BOOL Open(UINT nID);
  // nRep -1 repeats for ever; nTo -1 is the last frame.
  BOOL Play(UINT nFrom, UINT nTo, UINT nRep);
  BOOL Stop();
  BOOL Close();
  BOOL Seek(UINT nTo);
  BOOL IsPlaying() const;
};

class CToolTipCtrl : public CWnd {
  DECLARE_DYNAMIC(CToolTipCtrl)

 public:
  // A popup tooltip window owned by pParentWnd.
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);

  // A tool for pWnd: nIDTool 0 makes the window itself the tool (TTF_IDISHWND), else the tool is
  // nIDTool of pWnd, covering lpRectTool when given. The text may be a string resource number.
  BOOL AddTool(CWnd* pWnd, LPCWSTR lpszText = LPSTR_TEXTCALLBACK, LPCRECT lpRectTool = nullptr, UINT_PTR nIDTool = 0);
  BOOL AddTool(CWnd* pWnd, UINT nIDText, LPCRECT lpRectTool = nullptr, UINT_PTR nIDTool = 0);
  void DelTool(CWnd* pWnd, UINT_PTR nIDTool = 0);
  void UpdateTipText(LPCWSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool = 0);
  void UpdateTipText(UINT nIDText, CWnd* pWnd, UINT_PTR nIDTool = 0);
  void GetText(CString& str, CWnd* pWnd, UINT_PTR nIDTool = 0) const;
  int GetToolCount() const;
  void Activate(BOOL bActivate);
  int SetMaxTipWidth(int iWidth);
  int GetMaxTipWidth() const;
  void SetDelayTime(UINT nDelay);
  void SetDelayTime(DWORD dwDuration, int iTime);
  int GetDelayTime(DWORD dwDuration) const;
  void RelayEvent(LPMSG lpMsg);
  void Pop();

 private:
  void fillInfo(TOOLINFO& ti, CWnd* pWnd, UINT_PTR nIDTool) const;
};
