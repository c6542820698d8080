// WinInet-shaped HTTP for the product: sessions, connections and requests over libcurl (loaded
// from the helper library "libkipo_curl.so" at the first InternetOpenW). Host names resolve only
// through the host's server table, and only loopback addresses are ever connected to, so nothing
// reaches a real network; HTTPS trusts only the host's own list of roots. Calls are synchronous
// and safe on any thread; InternetCloseHandle from another thread ends a call blocked on the
// handle with ERROR_INTERNET_OPERATION_CANCELLED. Errors come through GetLastError.
// Fault points: every call but InternetCloseHandle, by the call's name; the subject is the URL
// (the agent for InternetOpenW, the server name for InternetConnectW, the object path for
// HttpOpenRequestW).
#pragma once

#include "platform/base/types.h"

using HINTERNET = void*;
using INTERNET_PORT = WORD;

// InternetOpenW access types.
#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3
#define PRE_CONFIG_INTERNET_ACCESS INTERNET_OPEN_TYPE_PRECONFIG

#define INTERNET_SERVICE_HTTP 3
#define INTERNET_INVALID_PORT_NUMBER 0
#define INTERNET_DEFAULT_HTTP_PORT 80
#define INTERNET_DEFAULT_HTTPS_PORT 443

// Request flags.
#define INTERNET_FLAG_RELOAD 0x80000000UL
#define INTERNET_FLAG_RAW_DATA 0x40000000UL
#define INTERNET_FLAG_EXISTING_CONNECT 0x20000000UL
#define INTERNET_FLAG_ASYNC 0x10000000UL
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000UL
#define INTERNET_FLAG_DONT_CACHE INTERNET_FLAG_NO_CACHE_WRITE
#define INTERNET_FLAG_SECURE 0x00800000UL
#define INTERNET_FLAG_KEEP_CONNECTION 0x00400000UL
#define INTERNET_FLAG_NO_AUTO_REDIRECT 0x00200000UL
#define INTERNET_FLAG_PRAGMA_NOCACHE 0x00000100UL
#define INTERNET_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000UL
#define INTERNET_FLAG_IGNORE_CERT_CN_INVALID 0x00001000UL
#define INTERNET_FLAG_TRANSFER_ASCII 0x00000001UL
#define INTERNET_FLAG_TRANSFER_BINARY 0x00000002UL

// HttpQueryInfoW levels and modifiers (only these; others fail with ERROR_CALL_NOT_IMPLEMENTED).
#define HTTP_QUERY_CONTENT_TYPE 1
#define HTTP_QUERY_CONTENT_LENGTH 5
#define HTTP_QUERY_STATUS_CODE 19
#define HTTP_QUERY_STATUS_TEXT 20
#define HTTP_QUERY_RAW_HEADERS_CRLF 22
#define HTTP_QUERY_LOCATION 33
#define HTTP_QUERY_FLAG_NUMBER 0x20000000UL

#define HTTP_STATUS_OK 200
#define HTTP_STATUS_NOT_FOUND 404

// Errors.
#define INTERNET_ERROR_BASE 12000
#define ERROR_INTERNET_TIMEOUT 12002L
#define ERROR_INTERNET_INTERNAL_ERROR 12004L
#define ERROR_INTERNET_INVALID_URL 12005L
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#define ERROR_INTERNET_OPERATION_CANCELLED 12017L
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018L
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019L
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#define ERROR_INTERNET_CONNECTION_ABORTED 12030L
#define ERROR_INTERNET_CONNECTION_RESET 12031L
#define ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037L
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038L
#define ERROR_INTERNET_INVALID_CA 12045L
#define ERROR_HTTP_HEADER_NOT_FOUND 12150L
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152L
#define ERROR_HTTP_INVALID_QUERY_REQUEST 12154L
#define ERROR_HTTP_REDIRECT_FAILED 12156L
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157L

// A session handle, or null. Only the pre-configured and direct access types are offered (a
// named proxy fails with ERROR_CALL_NOT_IMPLEMENTED, as does INTERNET_FLAG_ASYNC); the first call
// loads the helper library, and a failed load fails the call with the loader's error.
HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass,
                        DWORD dwFlags);
// Opens an http:// or https:// URL on a session: sends a GET (following redirects unless
// INTERNET_FLAG_NO_AUTO_REDIRECT) and returns a request handle once the reply's headers are in.
// Any status is success here; HttpQueryInfoW tells it. The transfer and cache flags are accepted
// (nothing is cached).
HINTERNET InternetOpenUrlW(HINTERNET hInternet, LPCWSTR lpszUrl, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                           DWORD dwFlags, DWORD_PTR dwContext);
// A connection to a server (INTERNET_SERVICE_HTTP only): remembers server and port; nothing is
// sent until HttpSendRequestW.
HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           DWORD_PTR dwContext);
// A request on a connection; HTTPS when dwFlags has INTERNET_FLAG_SECURE.
HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName, LPCWSTR lpszVersion,
                           LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes, DWORD dwFlags, DWORD_PTR dwContext);
// Sends the request with extra header lines (CR LF separated; dwHeadersLength (DWORD)-1 for a
// NUL-terminated text) and an optional body of dwOptionalLength bytes; TRUE once the reply's
// headers are in.
BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                      DWORD dwOptionalLength);
// A reply header. Text: *lpdwBufferLength is the buffer's size in bytes; on success it becomes
// the text's size without its NUL; when too small, ERROR_INSUFFICIENT_BUFFER and the size needed
// with the NUL. With HTTP_QUERY_FLAG_NUMBER: a DWORD. A header the reply lacks:
// ERROR_HTTP_HEADER_NOT_FOUND. lpdwIndex, when given, must point to 0 and is set to 1.
BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                    LPDWORD lpdwIndex);
// Waits until some of the body has arrived or the body ended; the bytes ready to read (0 at the
// end).
BOOL InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD dwFlags,
                                DWORD_PTR dwContext);
// Reads until the buffer is full or the body ends (*read 0 and TRUE at the end). A body cut short
// of its announced length, a reset connection or a timeout fails the read that meets it (bytes
// that came before are returned by the reads before it).
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead, LPDWORD lpdwNumberOfBytesRead);
// Closes any handle and the handles opened on it. From another thread it ends a call blocked on
// the handle, which then fails with ERROR_INTERNET_OPERATION_CANCELLED.
BOOL InternetCloseHandle(HINTERNET hInternet);
