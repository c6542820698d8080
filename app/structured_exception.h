// Structured exceptions as the program's own thrown object: CSE carries the Win32 exception and
// processor context records that the stand-in's translator hands over (an access violation, a
// division by zero, an illegal instruction in the program's own code on the UI thread), so the
// program's guarded blocks catch it after CCustomizerException and the class library's
// exceptions, and log it with a text chosen by the exception code.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"
#include "platform/win32/seh.h"

class CSE {
 public:
  CSE(const EXCEPTION_RECORD& record, const CONTEXT& context) : m_record(record), m_context(context) {}
  DWORD getCode() const { return m_record.ExceptionCode; }
  const EXCEPTION_RECORD& record() const { return m_record; }
  const CONTEXT& context() const { return m_context; }

 private:
  EXCEPTION_RECORD m_record;
  CONTEXT m_context;
};

// The translator: copies both records into a CSE and throws it (by value).
void translateStructuredException(unsigned int code, EXCEPTION_POINTERS* pointers);
// Installs the translator for the calling thread; returns the previous one.
_se_translator_function installStructuredExceptionTranslator();

// "{<context>}: Access violation." and the other texts of the code table; "{<context>}: Unknown
// exception occurred." for any other code.
CString describeStructuredExceptionText(const CSE& exception, const CString& context);
// The text above shown in a message box (showMessage, which logs it too) when showBox, else logged.
void describeStructuredException(const CSE& exception, const CString& context, bool showBox);

// The error text of a class-library exception, at most 1,024 characters.
class CException;
CString exceptionErrorText(CException* exception);

// Runs `body` under the guards of the program's own operations: the program's exception shown in
// a box, a class-library exception's text and a structured exception logged, anything else
// logged as undefined, all under `context` (the operation's name).
template <class Body>
void guardedStep(const char16_t* context, Body&& body);
// The same guards around a step that yields a value, every exception only logged: `failure` when
// one was caught.
template <class R, class Body>
R guardedValue(const char16_t* context, R failure, Body&& body);

#include "app/structured_exception_guard.h"
