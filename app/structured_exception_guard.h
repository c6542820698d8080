// The bodies of guardedStep and guardedValue (structured_exception.h), kept apart so that header
// stays light for the translator's callers.
#pragma once

#include "app/customizer_exception.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/afx/exception.h"

template <class Body>
void guardedStep(const char16_t* context, Body&& body) {
  try {
    body();
  } catch (CCustomizerException* e) {
    showMessageText(e->getMessage());
    e->Delete();
  } catch (CException* e) {
    writeLogText(exceptionErrorText(e));
    e->Delete();
  } catch (const CSE& e) {
    describeStructuredException(e, CString(context), false);
  } catch (...) {
    writeLog(u"{%s}: Caught undefined exception.", context);
  }
}

template <class R, class Body>
R guardedValue(const char16_t* context, R failure, Body&& body) {
  try {
    return body();
  } catch (CException* e) {
    writeLogText(exceptionErrorText(e));
    e->Delete();
  } catch (const CSE& e) {
    describeStructuredException(e, CString(context), false);
  } catch (...) {
    writeLog(u"{%s}: Caught undefined exception.", context);
  }
  return failure;
}
