// Documents and document templates: CDocument (the data behind views, its title, modified flag
// and views), CDocTemplate with its single- and multiple-document forms (a resource id and the
// runtime classes of document, frame and view; OpenDocumentFile creates the three), and
// CCreateContext, which carries them through frame and view creation.
//
// The template's string resource holds "\n"-separated parts: window title, document name, file
// new name, filter name, filter extension, file type id, file type name (GetDocString).
#pragma once

#include "platform/afx/cmdtarget.h"
#include "platform/afx/coll.h"
#include "platform/afx/cstring.h"

class CDocTemplate;
class CDocument;
class CFrameWnd;
class CView;
class CArchive;

class CCreateContext {
 public:
  CRuntimeClass* m_pNewViewClass = nullptr;
  CDocument* m_pCurrentDoc = nullptr;
  CDocTemplate* m_pNewDocTemplate = nullptr;
  CView* m_pLastView = nullptr;
  CFrameWnd* m_pCurrentFrame = nullptr;
};

class CDocument : public CCmdTarget {
  DECLARE_DYNAMIC(CDocument)

 public:
  CDocument();
  ~CDocument() override;

  const CString& GetTitle() const { return m_strTitle; }
  virtual void SetTitle(LPCWSTR lpszTitle);
  const CString& GetPathName() const { return m_strPathName; }
  virtual void SetPathName(LPCWSTR lpszPathName, BOOL bAddToMRU = TRUE);
  CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

  virtual BOOL IsModified() { return m_bModified; }
  virtual void SetModifiedFlag(BOOL bModified = TRUE) { m_bModified = bModified; }

  // Views, in the order they were added.
  virtual POSITION GetFirstViewPosition() const;
  virtual CView* GetNextView(POSITION& rPosition) const;
  void AddView(CView* pView);
  void RemoveView(CView* pView);
  // Calls OnUpdate of every view but pSender.
  void UpdateAllViews(CView* pSender, LPARAM lHint = 0, CObject* pHint = nullptr);

  // DeleteContents, then TRUE (a fresh document); the title is set by the template.
  virtual BOOL OnNewDocument();
  // Reads the file through Serialize; FALSE (after reporting) when it cannot be read.
  virtual BOOL OnOpenDocument(LPCWSTR lpszPathName);
  virtual BOOL OnSaveDocument(LPCWSTR lpszPathName);
  // Destroys the frames of the views, DeleteContents, and deletes the document when m_bAutoDelete.
  virtual void OnCloseDocument();
  virtual void DeleteContents() {}
  // Whether the document may be closed. A modified one asks "Save changes to NAME?" (NAME the path,
  // else the title) with Yes, No and Cancel through the framework's message box: Yes saves
  // (DoFileSave) and answers whether that worked, No answers TRUE and keeps nothing, Cancel
  // answers FALSE. An unmodified document answers TRUE without asking.
  virtual BOOL SaveModified();
  // Saves to the document's path; asks for a name (DoSave with null) when it has none or its file
  // is read-only. FALSE when the user cancels or the save fails.
  virtual BOOL DoFileSave();
  // Saves as lpszPathName, or as a name chosen in a Save As dialog when null (a file the failed
  // save left behind is then removed); with bReplace the document takes that path.
  virtual BOOL DoSave(LPCWSTR lpszPathName, BOOL bReplace = TRUE);
  virtual BOOL CanCloseFrame(CFrameWnd* pFrame);
  virtual void OnChangedViewList();
  virtual void Serialize(CArchive& ar) override;

  BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

  CString m_strTitle;
  CString m_strPathName;
  CDocTemplate* m_pDocTemplate = nullptr;
  CPtrList m_viewList;
  BOOL m_bModified = FALSE;
  BOOL m_bAutoDelete = TRUE;
  BOOL m_bEmbedded = FALSE;

 protected:
  DECLARE_MESSAGE_MAP()
};

class CDocTemplate : public CCmdTarget {
  DECLARE_DYNAMIC(CDocTemplate)

 public:
  enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };
  enum Confidence { noAttempt, maybeAttemptForeign, maybeAttemptNative, yesAttemptForeign, yesAttemptNative,
                    yesAlreadyOpen };

  ~CDocTemplate() override;

  virtual POSITION GetFirstDocPosition() const = 0;
  virtual CDocument* GetNextDoc(POSITION& rPos) const = 0;
  virtual void AddDocument(CDocument* pDoc);
  virtual void RemoveDocument(CDocument* pDoc);
  // Part `index` of the template's string resource; FALSE (and empty) when it has none.
  virtual BOOL GetDocString(CString& rString, DocStringIndex index) const;

  virtual CDocument* CreateNewDocument();
  // A frame (of the frame class, loaded with the template's resource id) holding a new view of
  // pDoc; null when the frame cannot be created.
  virtual CFrameWnd* CreateNewFrame(CDocument* pDoc, CFrameWnd* pOther);
  virtual void InitialUpdateFrame(CFrameWnd* pFrame, CDocument* pDoc, BOOL bMakeVisible = TRUE);
  virtual void SetDefaultTitle(CDocument* pDocument) = 0;
  // A null path makes a new document (OnNewDocument); else reads the file.
  virtual CDocument* OpenDocumentFile(LPCWSTR lpszPathName, BOOL bMakeVisible = TRUE) = 0;
  virtual void CloseAllDocuments(BOOL bEndSession);
  virtual BOOL SaveAllModified();
  virtual void LoadTemplate();

  UINT m_nIDResource;
  CRuntimeClass* m_pDocClass;
  CRuntimeClass* m_pFrameClass;
  CRuntimeClass* m_pViewClass;
  CString m_strDocStrings;

 protected:
  CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass, CRuntimeClass* pViewClass);
};

class CSingleDocTemplate : public CDocTemplate {
  DECLARE_DYNAMIC(CSingleDocTemplate)

 public:
  CSingleDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                     CRuntimeClass* pViewClass);
  ~CSingleDocTemplate() override;

  POSITION GetFirstDocPosition() const override;
  CDocument* GetNextDoc(POSITION& rPos) const override;
  void AddDocument(CDocument* pDoc) override;
  void RemoveDocument(CDocument* pDoc) override;
  void SetDefaultTitle(CDocument* pDocument) override;
  // The one document is reused when it exists (after SaveModified), else created with its frame,
  // which becomes the main window when there is none.
  CDocument* OpenDocumentFile(LPCWSTR lpszPathName, BOOL bMakeVisible = TRUE) override;

 protected:
  CDocument* m_pOnlyDoc = nullptr;
};

class CMultiDocTemplate : public CDocTemplate {
  DECLARE_DYNAMIC(CMultiDocTemplate)

 public:
  CMultiDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                    CRuntimeClass* pViewClass);
  ~CMultiDocTemplate() override;

  POSITION GetFirstDocPosition() const override;
  CDocument* GetNextDoc(POSITION& rPos) const override;
  void AddDocument(CDocument* pDoc) override;
  void RemoveDocument(CDocument* pDoc) override;
  // New documents are titled "<doc name><n>" with n counting up from 1.
  void SetDefaultTitle(CDocument* pDocument) override;
  CDocument* OpenDocumentFile(LPCWSTR lpszPathName, BOOL bMakeVisible = TRUE) override;

  CPtrList m_docList;
  UINT m_nUntitledCount = 0;
};

namespace platform::afx {
// The string resource of a template id through the resource chain, or empty.
CString loadResourceString(UINT id);
}  // namespace platform::afx
