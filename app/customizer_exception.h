// The exception that snap-ins and the shared services throw: one message text, given directly or
// loaded from a string id of the language library. Thrown as a heap object
// (`throw new CCustomizerException(...)`); the catcher shows or logs the message and calls Delete().
#pragma once

#include "platform/afx/cstring.h"
#include "platform/afx/exception.h"

class CCustomizerException : public CException {
  DECLARE_DYNAMIC(CCustomizerException)
 public:
  explicit CCustomizerException(const CString& message);
  explicit CCustomizerException(UINT messageId);

  CString getMessage() const { return message_; }

 protected:
  // GetErrorMessage and ReportError give the same text.
  CString message() const override { return message_; }

 private:
  CString message_;
};
