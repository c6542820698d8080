// The diagnostic log: an HTML file ("Kipo.html" at the drive root) that a user can open in a
// browser and send to support. The application sets its path and starts it once; every part of
// the program then appends lines with writeLog. Logging is on exactly while the file exists.
//
// File layout (bytes): a header line (written when the file is new or was emptied), a start block
// per run, one entry per writeLog call (UTF-8 text followed by "<br>", no line break), and a stop
// line at orderly exit. Every write opens, appends and closes the file, denying other writers, so
// each line is on the drive as soon as the call returns; any failure is silent.
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/format.h"

// Longest message, in UTF-16 units, that the log and the message boxes take; longer ones are cut.
inline constexpr int kMessageTextLimit = 4096;

// A formatted message cut to kMessageTextLimit units.
template <class... A>
CString formatMessageText(LPCWSTR format, const A&... args) {
  std::u16string text = platform::fmt::format(format ? std::u16string_view(format) : std::u16string_view(), args...);
  if (text.size() > static_cast<size_t>(kMessageTextLimit)) text.resize(kMessageTextLimit);
  return CString(std::move(text));
}

// The log file's path; empty until the application sets it.
void setLogPath(const CString& path);
CString getLogPath();
// The log path for a device root ("E:\" or "E:"): the root with one backslash, then "Kipo.html".
CString logPathForDevice(const CString& deviceRoot);

// Start of a run: creates the log's folder and file when missing, empties a log longer than
// kLogSizeLimit bytes, writes the header when the file is new or emptied, then the start block.
inline constexpr long long kLogSizeLimit = 102400;
void startLogFile();
// Orderly exit: appends "Kipo Stopped: " and the local date when the log file exists.
void writeStopLine();

// Appends one entry: the text (cut to kMessageTextLimit units) in UTF-8, then "<br>". Does nothing
// when the log file does not exist or cannot be opened.
void writeLogText(const CString& text);

// Appends one entry formatted printf-style. The format is the caller's own text; a text from
// outside (a file name, a message read from somewhere) is passed as an argument ("%s"), never as
// the format, which is why a CString is refused as the format.
template <class... A>
void writeLog(LPCWSTR format, const A&... args) {
  writeLogText(formatMessageText(format, args...));
}
template <class... A>
void writeLog(const CString& format, const A&... args) = delete;

// The current local date and time as the log writes it: "Thursday, December 10 at 01:58PM.".
CString logDateText();
