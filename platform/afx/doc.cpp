// CDocument and the document templates: creating document, frame and view together, titles,
// the views of a document, and closing.
#include "platform/afx/doc.h"

#include "platform/afx/app.h"
#include "platform/afx/archive.h"
#include "platform/afx/exception.h"
#include "platform/afx/file.h"
#include "platform/afx/filedialog.h"
#include "platform/afx/frame.h"
#include "platform/afx/view.h"
#include "platform/win32/dialog.h"
#include "platform/win32/file.h"

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)
IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)
IMPLEMENT_DYNAMIC(CSingleDocTemplate, CDocTemplate)
IMPLEMENT_DYNAMIC(CMultiDocTemplate, CDocTemplate)

namespace {
constexpr const char16_t* kUntitled = u"Untitled";
constexpr const char16_t* kAskToSave = u"Save changes to %1?";
constexpr const char16_t* kAllFilesFilter = u"All Files (*.*)|*.*|";
}

CString platform::afx::loadResourceString(UINT id) {
  CString s;
  s.LoadString(id);
  return s;
}

// ---- CDocument ----

CDocument::CDocument() = default;

CDocument::~CDocument() {
  // Views outliving their document forget it.
  for (POSITION pos = m_viewList.GetHeadPosition(); pos;) static_cast<CView*>(m_viewList.GetNext(pos))->m_pDocument = nullptr;
  if (m_pDocTemplate) m_pDocTemplate->RemoveDocument(this);
}

void CDocument::SetTitle(LPCWSTR lpszTitle) {
  m_strTitle = lpszTitle;
  for (POSITION pos = GetFirstViewPosition(); pos;) {
    CView* view = GetNextView(pos);
    if (CFrameWnd* frame = view->GetParentFrame()) frame->OnUpdateFrameTitle(TRUE);
  }
}

void CDocument::SetPathName(LPCWSTR lpszPathName, BOOL) {
  m_strPathName = lpszPathName;
  // The title is the file's name.
  CString name = m_strPathName;
  int slash = std::max(name.ReverseFind(u'\\'), name.ReverseFind(u'/'));
  SetTitle(name.Mid(slash + 1));
}

POSITION CDocument::GetFirstViewPosition() const { return m_viewList.GetHeadPosition(); }

CView* CDocument::GetNextView(POSITION& rPosition) const {
  return static_cast<CView*>(const_cast<CPtrList&>(m_viewList).GetNext(rPosition));
}

void CDocument::AddView(CView* pView) {
  if (pView->m_pDocument == this) return;
  m_viewList.AddTail(pView);
  pView->m_pDocument = this;
  OnChangedViewList();
}

void CDocument::RemoveView(CView* pView) {
  POSITION pos = m_viewList.Find(pView);
  if (!pos) return;
  m_viewList.RemoveAt(pos);
  pView->m_pDocument = nullptr;
  OnChangedViewList();
}

void CDocument::OnChangedViewList() {
  // The last view gone closes an auto-deleting document.
  if (m_viewList.IsEmpty() && m_bAutoDelete) OnCloseDocument();
}

void CDocument::UpdateAllViews(CView* pSender, LPARAM lHint, CObject* pHint) {
  for (POSITION pos = GetFirstViewPosition(); pos;) {
    CView* view = GetNextView(pos);
    if (view != pSender) view->OnUpdate(pSender, lHint, pHint);
  }
}

BOOL CDocument::OnNewDocument() {
  DeleteContents();
  m_strPathName.Empty();
  SetModifiedFlag(FALSE);
  return TRUE;
}

BOOL CDocument::OnOpenDocument(LPCWSTR lpszPathName) {
  CFile file;
  CFileException fe;
  if (!file.Open(lpszPathName, CFile::modeRead | CFile::shareDenyWrite, &fe)) {
    fe.ReportError();
    return FALSE;
  }
  DeleteContents();
  try {
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = this;
    Serialize(ar);
    ar.Close();
  } catch (CException* e) {
    file.Abort();
    DeleteContents();
    e->ReportError();
    e->Delete();
    return FALSE;
  }
  SetModifiedFlag(FALSE);
  return TRUE;
}

BOOL CDocument::OnSaveDocument(LPCWSTR lpszPathName) {
  CFile file;
  CFileException fe;
  if (!file.Open(lpszPathName, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive, &fe)) {
    fe.ReportError();
    return FALSE;
  }
  try {
    CArchive ar(&file, CArchive::store);
    ar.m_pDocument = this;
    Serialize(ar);
    ar.Close();
    file.Close();
  } catch (CException* e) {
    file.Abort();
    e->ReportError();
    e->Delete();
    return FALSE;
  }
  SetModifiedFlag(FALSE);
  return TRUE;
}

void CDocument::OnCloseDocument() {
  // Destroying the frames removes the views; the document must outlive that.
  BOOL autoDelete = m_bAutoDelete;
  m_bAutoDelete = FALSE;
  while (!m_viewList.IsEmpty()) {
    CView* view = static_cast<CView*>(m_viewList.GetHead());
    CFrameWnd* frame = view->GetParentFrame();
    if (frame) frame->DestroyWindow();
    else view->DestroyWindow();
    // A view whose window is gone but still listed would loop forever.
    if (!m_viewList.IsEmpty() && m_viewList.GetHead() == view) RemoveView(view);
  }
  m_bAutoDelete = autoDelete;
  DeleteContents();
  if (m_bAutoDelete) delete this;
}

BOOL CDocument::SaveModified() {
  if (!IsModified()) return TRUE;
  CString name = m_strPathName;
  if (name.IsEmpty()) name = m_strTitle;
  if (name.IsEmpty()) name = kUntitled;
  CString prompt = kAskToSave;
  prompt.Replace(u"%1", name);
  switch (AfxMessageBox(prompt, MB_YESNOCANCEL)) {
    case IDCANCEL:
      return FALSE;
    case IDYES:
      return DoFileSave();
    default:  // IDNO: the changes are given up
      return TRUE;
  }
}

BOOL CDocument::DoFileSave() {
  const DWORD attributes = m_strPathName.IsEmpty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(m_strPathName);
  if (m_strPathName.IsEmpty() || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)))
    return DoSave(nullptr);
  return DoSave(m_strPathName);
}

BOOL CDocument::DoSave(LPCWSTR lpszPathName, BOOL bReplace) {
  CString path = lpszPathName ? CString(lpszPathName) : CString();
  if (!lpszPathName) {
    // The template's file type gives the dialog its filter and extension.
    CString filterName, extension, filter;
    if (m_pDocTemplate) {
      m_pDocTemplate->GetDocString(filterName, CDocTemplate::filterName);
      m_pDocTemplate->GetDocString(extension, CDocTemplate::filterExt);
    }
    if (!filterName.IsEmpty() && !extension.IsEmpty()) filter = filterName + u"|*" + extension + u"|";
    filter += kAllFilesFilter;
    filter += u"|";
    CString defaultExtension = extension.Left(1) == u"." ? extension.Mid(1) : extension;
    CString suggested = m_strPathName.IsEmpty() ? m_strTitle : m_strPathName;
    CFileDialog dialog(FALSE, defaultExtension.IsEmpty() ? nullptr : defaultExtension.GetString(), suggested,
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, AfxGetMainWnd());
    if (dialog.DoModal() != IDOK) return FALSE;
    path = dialog.GetPathName();
  }
  if (!OnSaveDocument(path)) {
    // A file the user just named holds nothing sound after a failed save.
    if (!lpszPathName) DeleteFileW(path);
    return FALSE;
  }
  if (bReplace) SetPathName(path);
  return TRUE;
}

BOOL CDocument::CanCloseFrame(CFrameWnd* pFrame) {
  // Another frame showing this document lets this one close without asking.
  for (POSITION pos = GetFirstViewPosition(); pos;) {
    CView* view = GetNextView(pos);
    CFrameWnd* frame = view->GetParentFrame();
    if (frame && frame != pFrame) return TRUE;
  }
  return SaveModified();
}

void CDocument::Serialize(CArchive&) {}

BOOL CDocument::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  if (CCmdTarget::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
  // Then the template that made the document.
  return m_pDocTemplate && m_pDocTemplate->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

const AFX_MSGMAP* CDocument::GetMessageMap() const { return GetThisMessageMap(); }
const AFX_MSGMAP* PASCAL CDocument::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
  static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
  return &map;
}

// ---- CDocTemplate ----

CDocTemplate::CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                           CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass), m_pViewClass(pViewClass) {}

CDocTemplate::~CDocTemplate() = default;

void CDocTemplate::LoadTemplate() {
  if (m_strDocStrings.IsEmpty()) m_strDocStrings = platform::afx::loadResourceString(m_nIDResource);
}

BOOL CDocTemplate::GetDocString(CString& rString, DocStringIndex index) const {
  rString.Empty();
  int start = 0;
  for (int i = 0; i < static_cast<int>(index); ++i) {
    int next = m_strDocStrings.Find(u'\n', start);
    if (next < 0) return FALSE;
    start = next + 1;
  }
  int end = m_strDocStrings.Find(u'\n', start);
  rString = end < 0 ? m_strDocStrings.Mid(start) : m_strDocStrings.Mid(start, end - start);
  return !rString.IsEmpty();
}

void CDocTemplate::AddDocument(CDocument* pDoc) { pDoc->m_pDocTemplate = this; }

void CDocTemplate::RemoveDocument(CDocument* pDoc) { pDoc->m_pDocTemplate = nullptr; }

CDocument* CDocTemplate::CreateNewDocument() {
  if (!m_pDocClass) return nullptr;
  auto* doc = static_cast<CDocument*>(m_pDocClass->CreateObject());
  if (!doc) return nullptr;
  AddDocument(doc);
  return doc;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc, CFrameWnd* pOther) {
  CCreateContext context;
  context.m_pCurrentFrame = pOther;
  context.m_pCurrentDoc = pDoc;
  context.m_pNewViewClass = m_pViewClass;
  context.m_pNewDocTemplate = this;
  if (!m_pFrameClass) return nullptr;
  auto* frame = static_cast<CFrameWnd*>(m_pFrameClass->CreateObject());
  if (!frame) return nullptr;
  // A frame that fails to load has deleted itself (PostNcDestroy) when its window existed.
  if (!frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context)) {
    if (!frame->m_hWnd) delete frame;
    return nullptr;
  }
  return frame;
}

void CDocTemplate::InitialUpdateFrame(CFrameWnd* pFrame, CDocument* pDoc, BOOL bMakeVisible) {
  pFrame->InitialUpdateFrame(pDoc, bMakeVisible);
}

void CDocTemplate::CloseAllDocuments(BOOL) {
  POSITION pos = GetFirstDocPosition();
  while (pos) {
    CDocument* doc = GetNextDoc(pos);
    doc->OnCloseDocument();
  }
}

BOOL CDocTemplate::SaveAllModified() {
  for (POSITION pos = GetFirstDocPosition(); pos;) {
    CDocument* doc = GetNextDoc(pos);
    if (!doc->SaveModified()) return FALSE;
  }
  return TRUE;
}

// ---- CSingleDocTemplate ----

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                                       CRuntimeClass* pViewClass)
    : CDocTemplate(nIDResource, pDocClass, pFrameClass, pViewClass) {}

CSingleDocTemplate::~CSingleDocTemplate() {
  if (m_pOnlyDoc) m_pOnlyDoc->m_pDocTemplate = nullptr;
}

POSITION CSingleDocTemplate::GetFirstDocPosition() const {
  return m_pOnlyDoc ? reinterpret_cast<POSITION>(m_pOnlyDoc) : nullptr;
}

CDocument* CSingleDocTemplate::GetNextDoc(POSITION& rPos) const {
  CDocument* doc = rPos ? m_pOnlyDoc : nullptr;
  rPos = nullptr;
  return doc;
}

void CSingleDocTemplate::AddDocument(CDocument* pDoc) {
  CDocTemplate::AddDocument(pDoc);
  m_pOnlyDoc = pDoc;
}

void CSingleDocTemplate::RemoveDocument(CDocument* pDoc) {
  CDocTemplate::RemoveDocument(pDoc);
  if (m_pOnlyDoc == pDoc) m_pOnlyDoc = nullptr;
}

void CSingleDocTemplate::SetDefaultTitle(CDocument* pDocument) {
  CString title;
  if (!GetDocString(title, docName)) title = kUntitled;
  pDocument->SetTitle(title);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(LPCWSTR lpszPathName, BOOL bMakeVisible) {
  CDocument* doc = m_pOnlyDoc;
  CFrameWnd* frame = nullptr;
  bool created = false;
  if (doc) {
    if (!doc->SaveModified()) return nullptr;
    POSITION pos = doc->GetFirstViewPosition();
    if (pos) frame = doc->GetNextView(pos)->GetParentFrame();
  } else {
    doc = CreateNewDocument();
    if (!doc) return nullptr;
    created = true;
    BOOL autoDelete = doc->m_bAutoDelete;
    doc->m_bAutoDelete = FALSE;  // a failing frame must not take the document with it
    frame = CreateNewFrame(doc, nullptr);
    doc->m_bAutoDelete = autoDelete;
    if (!frame) {
      delete doc;
      return nullptr;
    }
  }
  if (!lpszPathName) {
    SetDefaultTitle(doc);
    if (!doc->OnNewDocument()) {
      if (created) frame->DestroyWindow();
      return nullptr;
    }
  } else {
    if (!doc->OnOpenDocument(lpszPathName)) {
      if (created) frame->DestroyWindow();
      return nullptr;
    }
    doc->SetPathName(lpszPathName);
  }
  CWinThread* thread = AfxGetThread();
  if (created && thread && !thread->m_pMainWnd) thread->m_pMainWnd = frame;
  InitialUpdateFrame(frame, doc, bMakeVisible);
  return doc;
}

// ---- CMultiDocTemplate ----

CMultiDocTemplate::CMultiDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                                     CRuntimeClass* pViewClass)
    : CDocTemplate(nIDResource, pDocClass, pFrameClass, pViewClass) {}

CMultiDocTemplate::~CMultiDocTemplate() {
  for (POSITION pos = m_docList.GetHeadPosition(); pos;)
    static_cast<CDocument*>(m_docList.GetNext(pos))->m_pDocTemplate = nullptr;
}

POSITION CMultiDocTemplate::GetFirstDocPosition() const { return m_docList.GetHeadPosition(); }

CDocument* CMultiDocTemplate::GetNextDoc(POSITION& rPos) const {
  return static_cast<CDocument*>(const_cast<CPtrList&>(m_docList).GetNext(rPos));
}

void CMultiDocTemplate::AddDocument(CDocument* pDoc) {
  CDocTemplate::AddDocument(pDoc);
  m_docList.AddTail(pDoc);
}

void CMultiDocTemplate::RemoveDocument(CDocument* pDoc) {
  CDocTemplate::RemoveDocument(pDoc);
  if (POSITION pos = m_docList.Find(pDoc)) m_docList.RemoveAt(pos);
}

void CMultiDocTemplate::SetDefaultTitle(CDocument* pDocument) {
  CString name;
  if (!GetDocString(name, docName)) name = kUntitled;
  CString title;
  title.Format(u"%s%u", name.GetString(), m_nUntitledCount + 1);
  pDocument->SetTitle(title);
}

CDocument* CMultiDocTemplate::OpenDocumentFile(LPCWSTR lpszPathName, BOOL bMakeVisible) {
  CDocument* doc = CreateNewDocument();
  if (!doc) return nullptr;
  BOOL autoDelete = doc->m_bAutoDelete;
  doc->m_bAutoDelete = FALSE;
  CFrameWnd* frame = CreateNewFrame(doc, nullptr);
  doc->m_bAutoDelete = autoDelete;
  if (!frame) {
    delete doc;
    return nullptr;
  }
  if (!lpszPathName) {
    SetDefaultTitle(doc);
    if (!doc->OnNewDocument()) {
      frame->DestroyWindow();
      return nullptr;
    }
    ++m_nUntitledCount;
  } else {
    if (!doc->OnOpenDocument(lpszPathName)) {
      frame->DestroyWindow();
      return nullptr;
    }
    doc->SetPathName(lpszPathName);
  }
  InitialUpdateFrame(frame, doc, bMakeVisible);
  return doc;
}
