// CView: a child window of a frame showing a document. It joins its document when created
// through a CCreateContext, is told of changes through OnUpdate, draws in OnDraw, and deletes
// itself when its window is destroyed. Commands reach the view first, then its document.
#pragma once

#include "platform/afx/doc.h"
#include "platform/afx/wnd.h"

// Sent to a frame's descendants once the frame and its views exist (after creation, before
// the frame is shown); views answer with OnInitialUpdate.
#define WM_INITIALUPDATE 0x0364

// The style of views made by frames.
#define AFX_WS_DEFAULT_VIEW (WS_CHILD | WS_VISIBLE | WS_BORDER)

class CView : public CWnd {
  DECLARE_DYNAMIC(CView)

 public:
  ~CView() override;

  CDocument* GetDocument() const { return m_pDocument; }

  virtual void OnDraw(CDC* pDC) = 0;
  virtual void OnInitialUpdate();
  // The base invalidates the view.
  virtual void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint);
  virtual void OnActivateView(BOOL bActivate, CView* pActivateView, CView* pDeactiveView);

  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;
  void PostNcDestroy() override;

  afx_msg int OnCreate(LPCREATESTRUCT lpcs);
  afx_msg void OnDestroy();
  afx_msg void OnPaint();
  afx_msg int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message);
  afx_msg LRESULT OnInitialUpdateMessage(WPARAM, LPARAM);

  CDocument* m_pDocument = nullptr;

 protected:
  CView() = default;
  friend class CDocument;
  DECLARE_MESSAGE_MAP()
};
