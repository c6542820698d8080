// Structured exceptions: the translator that throws CSE and the code table of their log texts.
#include "app/structured_exception.h"

#include "app/log.h"
#include "app/messages.h"
#include "platform/afx/exception.h"

namespace {

struct CodeText {
  DWORD code;
  const char16_t* format;
};

const CodeText kCodeTexts[] = {
    {0x80000002u, u"{%s}: Datatype misalignment."},
    {0x80000003u, u"{%s}: Breakpoint."},
    {0x80000004u, u"{%s}: Single Step."},
    {0xC0000005u, u"{%s}: Access violation."},
    {0xC0000006u, u"{%s}: In page error."},
    {0xC0000008u, u"{%s}: Invalid Handle."},
    {0xC000001Du, u"{%s}: Illegal instruction."},
    {0xC0000025u, u"{%s}: Non-continuable exception."},
    {0xC0000026u, u"{%s}: Invalid Disposition."},
    {0xC000008Cu, u"{%s}: Array bounds exceeded."},
    {0xC000008Du, u"{%s}: Float denormal operand."},
    {0xC000008Fu, u"{%s}: Float inexact result."},
    {0xC0000090u, u"{%s}: Float invalid operation."},
    {0xC0000091u, u"{%s}: Float overflow."},
    {0xC0000092u, u"{%s}: Float stack check."},
    {0xC0000093u, u"{%s}: Float underflow."},
    {0xC0000094u, u"{%s}: Division by zero."},
    {0xC0000095u, u"{%s}: Integer overflow."},
    {0xC0000096u, u"{%s}: Private instruction."},
    {0xC00000FDu, u"{%s}: Stack overflow."},
};
constexpr const char16_t* kUnknownCodeText = u"{%s}: Unknown exception occurred.";
constexpr UINT kErrorTextLimit = 1024;

}  // namespace

void translateStructuredException(unsigned int, EXCEPTION_POINTERS* pointers) {
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  if (pointers && pointers->ExceptionRecord) record = *pointers->ExceptionRecord;
  if (pointers && pointers->ContextRecord) context = *pointers->ContextRecord;
  // The nested record points into the faulting frame, which is gone once the throw unwinds.
  record.ExceptionRecord = nullptr;
  throw CSE(record, context);
}

_se_translator_function installStructuredExceptionTranslator() {
  return _set_se_translator(&translateStructuredException);
}

CString describeStructuredExceptionText(const CSE& exception, const CString& context) {
  const char16_t* format = kUnknownCodeText;
  for (const CodeText& entry : kCodeTexts)
    if (entry.code == exception.getCode()) format = entry.format;
  return formatMessageText(format, context);
}

void describeStructuredException(const CSE& exception, const CString& context, bool showBox) {
  CString text = describeStructuredExceptionText(exception, context);
  if (showBox)
    showMessageText(text);
  else
    writeLogText(text);
}

CString exceptionErrorText(CException* exception) {
  if (!exception) return CString();
  WCHAR buffer[kErrorTextLimit + 1] = {};
  exception->GetErrorMessage(buffer, kErrorTextLimit);
  return CString(buffer);
}
