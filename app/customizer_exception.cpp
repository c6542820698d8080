// The program's exception type; a string id is resolved through the language library at once,
// so the text is the one of the language in use when the failure happened.
#include "app/customizer_exception.h"

#include "app/messages.h"

IMPLEMENT_DYNAMIC(CCustomizerException, CException)

CCustomizerException::CCustomizerException(const CString& message) : message_(message) {}

CCustomizerException::CCustomizerException(UINT messageId) : message_(loadResString(messageId)) {}
