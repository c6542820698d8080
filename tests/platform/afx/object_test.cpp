// Run-time class information, dynamic creation by name, downcasts, and the exceptions' causes,
// messages and heap-object protocol.
#include "platform/afx/object.h"

#include <gtest/gtest.h>

#include "platform/afx/exception.h"
#include "platform/win32/error.h"

// Test classes live outside the anonymous namespace: IMPLEMENT_SERIAL defines an operator>> for
// them that must have a linkage the compiler does not flag as unused.
class CShape : public CObject {
  DECLARE_DYNAMIC(CShape)
};
class CCircle : public CShape {
  DECLARE_DYNCREATE(CCircle)
 public:
  int radius = 3;
};
class CDot : public CCircle {
  DECLARE_SERIAL(CDot)
};
class CPlain : public CShape {};  // no run-time class of its own: it answers as CShape

IMPLEMENT_DYNAMIC(CShape, CObject)
IMPLEMENT_DYNCREATE(CCircle, CShape)
IMPLEMENT_SERIAL(CDot, CCircle, 2)

namespace {

TEST(RuntimeClass, NamesSizesAndDerivation) {
  CCircle circle;
  CDot dot;
  CPlain plain;
  EXPECT_STREQ(circle.GetRuntimeClass()->m_lpszClassName, "CCircle");
  EXPECT_EQ(RUNTIME_CLASS(CCircle)->m_nObjectSize, static_cast<int>(sizeof(CCircle)));
  EXPECT_EQ(RUNTIME_CLASS(CDot)->m_wSchema, 2u);

  struct Case {
    const char* what;
    const CObject* object;
    CRuntimeClass* of;
    bool kind;
  } cases[] = {
      {"circle is a shape", &circle, RUNTIME_CLASS(CShape), true},
      {"circle is a CObject", &circle, RUNTIME_CLASS(CObject), true},
      {"circle is not a dot", &circle, RUNTIME_CLASS(CDot), false},
      {"dot is a circle", &dot, RUNTIME_CLASS(CCircle), true},
      {"undeclared class answers as its base", &plain, RUNTIME_CLASS(CShape), true},
      {"...and is not a circle", &plain, RUNTIME_CLASS(CCircle), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.object->IsKindOf(c.of) != FALSE, c.kind) << c.what;

  EXPECT_TRUE(dot.IsSerializable());
  EXPECT_FALSE(circle.IsSerializable());
}

TEST(RuntimeClass, CreateByNameOnlyForDynCreateClasses) {
  EXPECT_EQ(CRuntimeClass::FromName("CCircle"), RUNTIME_CLASS(CCircle));
  EXPECT_EQ(CRuntimeClass::FromName(u"CDot"), RUNTIME_CLASS(CDot));
  EXPECT_EQ(CRuntimeClass::FromName("ccircle"), nullptr) << "names are case-sensitive";
  EXPECT_EQ(CRuntimeClass::FromName("CNoSuchClass"), nullptr);

  CObject* made = CRuntimeClass::CreateObject(u"CCircle");
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CCircle)));
  EXPECT_EQ(static_cast<CCircle*>(made)->radius, 3);
  delete made;

  EXPECT_EQ(RUNTIME_CLASS(CShape)->CreateObject(), nullptr) << "DECLARE_DYNAMIC alone cannot create";
  EXPECT_EQ(CRuntimeClass::CreateObject("CNoSuchClass"), nullptr);
}

TEST(RuntimeClass, DynamicDowncastChecksTheKind) {
  CDot dot;
  CCircle circle;
  CObject* asObject = &dot;
  EXPECT_EQ(DYNAMIC_DOWNCAST(CCircle, asObject), &dot);
  asObject = &circle;
  EXPECT_EQ(DYNAMIC_DOWNCAST(CDot, asObject), nullptr);
  EXPECT_EQ(DYNAMIC_DOWNCAST(CDot, static_cast<CObject*>(nullptr)), nullptr);
  EXPECT_EQ(STATIC_DOWNCAST(CCircle, asObject), &circle);
}

TEST(Exceptions, ThrownAsHeapObjectsAndCaughtAsTheBase) {
  bool caught = false;
  try {
    AfxThrowFileException(CFileException::sharingViolation, ERROR_SHARING_VIOLATION, u"C:\\data\\x.dat");
  } catch (CException* e) {
    caught = true;
    ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CFileException)));
    auto* fe = static_cast<CFileException*>(e);
    EXPECT_EQ(fe->m_cause, CFileException::sharingViolation);
    EXPECT_EQ(fe->m_lOsError, static_cast<LONG>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(fe->m_strFileName, u"C:\\data\\x.dat");
    e->Delete();
  }
  EXPECT_TRUE(caught);

  struct Case {
    void (*raise)();
    CRuntimeClass* kind;
  } cases[] = {
      {[] { AfxThrowMemoryException(); }, RUNTIME_CLASS(CMemoryException)},
      {[] { AfxThrowNotSupportedException(); }, RUNTIME_CLASS(CNotSupportedException)},
      {[] { AfxThrowResourceException(); }, RUNTIME_CLASS(CResourceException)},
      {[] { AfxThrowUserException(); }, RUNTIME_CLASS(CUserException)},
      {[] { AfxThrowArchiveException(CArchiveException::badSchema); }, RUNTIME_CLASS(CArchiveException)},
  };
  for (const Case& c : cases) {
    try {
      c.raise();
      ADD_FAILURE() << "nothing thrown for " << c.kind->m_lpszClassName;
    } catch (CException* e) {
      EXPECT_EQ(e->GetRuntimeClass(), c.kind);
      e->Delete();
    }
  }
}

TEST(Exceptions, OsErrorsMapToFileCauses) {
  struct Case {
    LONG error;
    int cause;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, CFileException::fileNotFound},
      {ERROR_PATH_NOT_FOUND, CFileException::badPath},
      {ERROR_ACCESS_DENIED, CFileException::accessDenied},
      {ERROR_SHARING_VIOLATION, CFileException::sharingViolation},
      {ERROR_LOCK_VIOLATION, CFileException::lockViolation},
      {ERROR_DISK_FULL, CFileException::diskFull},
      {ERROR_HANDLE_DISK_FULL, CFileException::diskFull},
      {ERROR_HANDLE_EOF, CFileException::endOfFile},
      {ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles},
      {ERROR_NEGATIVE_SEEK, CFileException::badSeek},
      {ERROR_NOT_READY, CFileException::hardIO},
      {ERROR_INVALID_NAME, CFileException::badPath},
      {ERROR_CALL_NOT_IMPLEMENTED, CFileException::genericException},
  };
  for (const Case& c : cases) EXPECT_EQ(CFileException::OsErrorToException(c.error), c.cause) << "error " << c.error;
}

TEST(Exceptions, GetErrorMessageNamesTheFileAndTruncates) {
  CFileException notFound(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, u"C:\\Profiles.dat");
  WCHAR buffer[256];
  UINT help = 0xdeadbeef;
  ASSERT_TRUE(notFound.GetErrorMessage(buffer, 256, &help));
  EXPECT_EQ(CString(buffer), u"C:\\Profiles.dat was not found.");
  EXPECT_EQ(help, 0u);

  CArchiveException eof(CArchiveException::endOfFile, u"snap.dat");
  ASSERT_TRUE(eof.GetErrorMessage(buffer, 256));
  EXPECT_NE(CString(buffer).Find(u"snap.dat"), -1);

  CFileException unnamed(CFileException::accessDenied);
  ASSERT_TRUE(unnamed.GetErrorMessage(buffer, 256));
  EXPECT_NE(CString(buffer).Find(u"unnamed"), -1);

  // Cut to nMaxError - 1 characters; the character after the NUL is untouched.
  std::fill(std::begin(buffer), std::end(buffer), u'\xbdbd');
  ASSERT_TRUE(notFound.GetErrorMessage(buffer, 5));
  EXPECT_EQ(CString(buffer), u"C:\\P");
  EXPECT_EQ(buffer[5], u'\xbdbd');

  CUserException user;
  buffer[0] = u'x';
  EXPECT_FALSE(user.GetErrorMessage(buffer, 256)) << "a user exception carries no message";
  EXPECT_EQ(buffer[0], u'\0');

  CMemoryException memory;
  ASSERT_TRUE(memory.GetErrorMessage(buffer, 256));
  EXPECT_EQ(CString(buffer), u"Out of memory.");
}

TEST(Exceptions, ReportErrorGoesThroughTheMessageBoxHook) {
  CString shown;
  platform::afx::setMessageBoxHook([&](const CString& text, UINT) {
    shown = text;
    return 2;
  });
  CArchiveException e(CArchiveException::badClass, u"x.dat");
  EXPECT_EQ(e.ReportError(), 2);
  EXPECT_EQ(shown, u"x.dat contained an unexpected object.");
  platform::afx::setMessageBoxHook({});
}

}  // namespace
