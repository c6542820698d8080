// WinInet-shaped HTTP (wininet.h): a table of handles (sessions, connections, requests) in front
// of the network helper library, which runs each exchange. Names go through the host's server
// table; the helper refuses any address off the loopback network.
#include "platform/net/wininet.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/helper_library.h"
#include "platform/net/curl_engine.h"
#include "platform/net/servers.h"
#include "platform/win32/error.h"

namespace {

using platform::net::CurlEngine;
using platform::net::CurlParams;
using platform::net::CurlResult;
using platform::net::Transfer;

const platform::fault::Points kInternetPoints{"InternetOpenW",    "InternetOpenUrlW",  "InternetConnectW",
                                              "HttpOpenRequestW", "HttpSendRequestW",  "HttpQueryInfoW",
                                              "InternetReadFile", "InternetQueryDataAvailable"};

platform::helper::Helper<CurlEngine> curlLibrary("libkipo_curl.so", "kipoCurlEngine");

constexpr int kMaxRedirects = 10;

enum class Kind { Session, Connection, Request };

// One exchange in progress; freed when the last call using it has returned.
struct Exchange {
  const CurlEngine* engine;
  Transfer* transfer;
  Exchange(const CurlEngine* e, Transfer* t) : engine(e), transfer(t) {}
  ~Exchange() { engine->end(transfer); }
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;
};

struct Object {
  Kind kind;
  HINTERNET handle = nullptr;
  std::shared_ptr<Object> parent;
  std::mutex mutex;  // held by the call using the object; cancel() does not take it
  std::atomic<bool> closed{false};
  // Session
  const CurlEngine* engine = nullptr;
  // Connection
  std::u16string server;
  INTERNET_PORT port = 0;
  // Request
  std::string verb = "GET";
  std::string url;      // InternetOpenUrlW: the URL; HttpOpenRequestW: built at send
  std::string path;
  DWORD flags = 0;
  std::string replyHeaders;
  bool sent = false;
  std::shared_ptr<Exchange> exchange;
  std::mutex exchangeMutex;  // guards `exchange` against a close from another thread

  explicit Object(Kind k) : kind(k) {}
};

std::mutex tableMutex;
std::map<HINTERNET, std::shared_ptr<Object>>& table() {
  static auto* t = new std::map<HINTERNET, std::shared_ptr<Object>>;  // lives to the process's end
  return *t;
}
std::uintptr_t nextHandle = 0xCC0004;

HINTERNET add(const std::shared_ptr<Object>& object) {
  std::lock_guard lock(tableMutex);
  nextHandle += 4;
  object->handle = reinterpret_cast<HINTERNET>(nextHandle);
  table()[object->handle] = object;
  return object->handle;
}

std::shared_ptr<Object> find(HINTERNET handle) {
  std::lock_guard lock(tableMutex);
  auto it = table().find(handle);
  return it == table().end() ? nullptr : it->second;
}

// The object for `handle` if it is of `kind`; else null with the Windows error set.
std::shared_ptr<Object> lookup(HINTERNET handle, Kind kind) {
  auto object = find(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (object->kind != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return object;
}

const CurlEngine* engineOf(const Object& object) {
  const Object* o = &object;
  while (o->parent) o = o->parent.get();
  return o->engine;
}

DWORD errorOf(CurlResult result) {
  switch (result) {
    case CurlResult::Ok: return ERROR_SUCCESS;
    case CurlResult::Cancelled: return ERROR_INTERNET_OPERATION_CANCELLED;
    case CurlResult::CannotConnect: return ERROR_INTERNET_CANNOT_CONNECT;
    case CurlResult::Timeout: return ERROR_INTERNET_TIMEOUT;
    case CurlResult::ConnectionReset: return ERROR_INTERNET_CONNECTION_RESET;
    case CurlResult::InvalidCa: return ERROR_INTERNET_INVALID_CA;
    case CurlResult::CertName: return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case CurlResult::CertDate: return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case CurlResult::SecurityError: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CurlResult::InvalidResponse: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CurlResult::InvalidUrl: return ERROR_INTERNET_INVALID_URL;
    case CurlResult::OutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case CurlResult::Internal: break;
  }
  return ERROR_INTERNET_INTERNAL_ERROR;
}

std::string text(LPCWSTR s) { return s ? platform::text::toUtf8(s) : std::string(); }

struct Url {
  bool secure = false;
  std::string host;  // without brackets
  std::uint16_t port = 0;
};

// Splits an absolute http(s) URL; the error when it is not one.
DWORD parseUrl(const std::string& url, Url& out) {
  std::size_t colon = url.find("://");
  if (colon == std::string::npos) return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (scheme == "https") out.secure = true;
  else if (scheme != "http") return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  std::size_t start = colon + 3;
  std::size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  std::string portText;
  if (!authority.empty() && authority[0] == '[') {
    std::size_t close = authority.find(']');
    if (close == std::string::npos) return ERROR_INTERNET_INVALID_URL;
    out.host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return ERROR_INTERNET_INVALID_URL;
      portText = authority.substr(close + 2);
    }
  } else {
    std::size_t c = authority.find(':');
    out.host = authority.substr(0, c);
    if (c != std::string::npos) portText = authority.substr(c + 1);
  }
  if (out.host.empty()) return ERROR_INTERNET_INVALID_URL;
  out.port = out.secure ? 443 : 80;
  if (!portText.empty()) {
    unsigned value = 0;
    auto [p, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (ec != std::errc() || p != portText.data() + portText.size() || value == 0 || value > 65535)
      return ERROR_INTERNET_INVALID_URL;
    out.port = static_cast<std::uint16_t>(value);
  }
  return ERROR_SUCCESS;
}

std::string joinRoots() {
  std::string pem;
  for (const std::string& root : platform::net::trustedRoots()) {
    pem += root;
    if (!pem.empty() && pem.back() != '\n') pem += '\n';
  }
  return pem;
}

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

long statusOf(const std::string& headers) {
  // "HTTP/1.1 200 OK"
  std::size_t space = headers.find(' ');
  if (space == std::string::npos) return 0;
  long status = 0;
  std::from_chars(headers.data() + space + 1, headers.data() + headers.size(), status);
  return status;
}

// Runs the request's exchange up to the final reply's headers, following redirects.
DWORD perform(Object& request, const CurlEngine* engine, std::string method, std::string url,
              const std::string& extraHeaders, std::string body) {
  for (int hop = 0;; ++hop) {
    Url parts;
    if (DWORD error = parseUrl(url, parts)) return error;
    std::optional<std::string> address = platform::net::resolveAddress(platform::text::fromUtf8(parts.host));
    if (!address) return ERROR_INTERNET_NAME_NOT_RESOLVED;
    CurlParams params;
    params.method = method;
    params.url = url;
    params.host = parts.host;
    params.port = parts.port;
    params.address = *address;
    params.headers = extraHeaders;
    params.body = body;
    if (parts.secure) params.rootsPem = joinRoots();
    params.verifyName = !(request.flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID);
    Transfer* transfer = engine->begin(params);
    if (!transfer) return ERROR_NOT_ENOUGH_MEMORY;
    auto exchange = std::make_shared<Exchange>(engine, transfer);
    {
      std::lock_guard lock(request.exchangeMutex);
      request.exchange = exchange;
    }
    if (request.closed.load()) engine->cancel(transfer);  // closed before the exchange was listed
    CurlResult result = engine->waitHeaders(transfer);
    if (result != CurlResult::Ok) return errorOf(result);
    std::string headers = engine->headers(transfer);
    long status = statusOf(headers);
    std::string target = isRedirect(status) ? engine->redirectUrl(transfer) : std::string();
    if (target.empty() || (request.flags & INTERNET_FLAG_NO_AUTO_REDIRECT)) {
      request.replyHeaders = std::move(headers);
      request.sent = true;
      return ERROR_SUCCESS;
    }
    if (hop == kMaxRedirects) return ERROR_HTTP_REDIRECT_FAILED;
    if (status == 303 || ((status == 301 || status == 302) && method == "POST")) {
      method = "GET";
      body.clear();
    }
    url = std::move(target);
  }
}

std::shared_ptr<Exchange> exchangeOf(Object& request) {
  std::lock_guard lock(request.exchangeMutex);
  return request.exchange;
}

// Closes the object and those opened on it, ending whatever they wait for.
void closeTree(const std::shared_ptr<Object>& object) {
  std::vector<std::shared_ptr<Object>> children;
  {
    std::lock_guard lock(tableMutex);
    table().erase(object->handle);
    for (auto& [handle, other] : table())
      if (other->parent == object) children.push_back(other);
  }
  object->closed.store(true);
  if (auto exchange = exchangeOf(*object)) exchange->engine->cancel(exchange->transfer);
  for (auto& child : children) closeTree(child);
}

std::string headerText(LPCWSTR headers, DWORD length) {
  if (!headers) return {};
  if (length == static_cast<DWORD>(-1)) return platform::text::toUtf8(headers);
  return platform::text::toUtf8(std::u16string_view(headers, length));
}

}  // namespace

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR, LPCWSTR, DWORD dwFlags) {
  if (DWORD error = platform::fault::check("InternetOpenW", lpszAgent ? lpszAgent : u"")) {
    SetLastError(error);
    return nullptr;
  }
  if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT) {
    SetLastError(dwAccessType == INTERNET_OPEN_TYPE_PROXY ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dwFlags & INTERNET_FLAG_ASYNC) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  DWORD error = 0;
  const CurlEngine* engine = curlLibrary.get(error);
  if (!engine) {
    SetLastError(error);
    return nullptr;
  }
  auto session = std::make_shared<Object>(Kind::Session);
  session->engine = engine;
  return add(session);
}

HINTERNET InternetOpenUrlW(HINTERNET hInternet, LPCWSTR lpszUrl, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                           DWORD dwFlags, DWORD_PTR) {
  auto session = lookup(hInternet, Kind::Session);
  if (!session) return nullptr;
  if (!lpszUrl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (DWORD error = platform::fault::check("InternetOpenUrlW", lpszUrl)) {
    SetLastError(error);
    return nullptr;
  }
  auto request = std::make_shared<Object>(Kind::Request);
  request->parent = session;
  request->flags = dwFlags;
  request->url = text(lpszUrl);
  HINTERNET handle = add(request);
  std::lock_guard lock(request->mutex);
  DWORD error = perform(*request, engineOf(*request), "GET", request->url,
                        headerText(lpszHeaders, dwHeadersLength), {});
  if (error) {
    InternetCloseHandle(handle);
    SetLastError(error);
    return nullptr;
  }
  return handle;
}

HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort, LPCWSTR,
                           LPCWSTR, DWORD dwService, DWORD, DWORD_PTR) {
  auto session = lookup(hInternet, Kind::Session);
  if (!session) return nullptr;
  if (!lpszServerName || !*lpszServerName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (DWORD error = platform::fault::check("InternetConnectW", lpszServerName)) {
    SetLastError(error);
    return nullptr;
  }
  if (dwService != INTERNET_SERVICE_HTTP) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  auto connection = std::make_shared<Object>(Kind::Connection);
  connection->parent = session;
  connection->server = lpszServerName;
  connection->port = nServerPort;
  return add(connection);
}

HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName, LPCWSTR, LPCWSTR,
                           LPCWSTR*, DWORD dwFlags, DWORD_PTR) {
  auto connection = lookup(hConnect, Kind::Connection);
  if (!connection) return nullptr;
  if (DWORD error = platform::fault::check("HttpOpenRequestW", lpszObjectName ? lpszObjectName : u"/")) {
    SetLastError(error);
    return nullptr;
  }
  auto request = std::make_shared<Object>(Kind::Request);
  request->parent = connection;
  request->flags = dwFlags;
  request->verb = lpszVerb && *lpszVerb ? text(lpszVerb) : "GET";
  request->path = lpszObjectName && *lpszObjectName ? text(lpszObjectName) : "/";
  if (request->path[0] != '/') request->path.insert(0, 1, '/');
  bool secure = dwFlags & INTERNET_FLAG_SECURE;
  INTERNET_PORT port = connection->port;
  if (port == INTERNET_INVALID_PORT_NUMBER) port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  std::string host = text(connection->server.c_str());
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  request->url = (secure ? "https://" : "http://") + host + ":" + std::to_string(port) + request->path;
  return add(request);
}

BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                      DWORD dwOptionalLength) {
  auto request = lookup(hRequest, Kind::Request);
  if (!request) return FALSE;
  if (!request->parent || request->parent->kind != Kind::Connection) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return FALSE;
  }
  if (DWORD error = platform::fault::check("HttpSendRequestW", platform::text::fromUtf8(request->url))) {
    SetLastError(error);
    return FALSE;
  }
  std::lock_guard lock(request->mutex);
  std::string body;
  if (lpOptional && dwOptionalLength) body.assign(static_cast<const char*>(lpOptional), dwOptionalLength);
  DWORD error = perform(*request, engineOf(*request), request->verb, request->url,
                        headerText(lpszHeaders, dwHeadersLength), body);
  if (error) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                    LPDWORD lpdwIndex) {
  auto request = lookup(hRequest, Kind::Request);
  if (!request) return FALSE;
  if (!lpdwBufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DWORD error = platform::fault::check("HttpQueryInfoW", platform::text::fromUtf8(request->url))) {
    SetLastError(error);
    return FALSE;
  }
  if (lpdwIndex && *lpdwIndex != 0) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return FALSE;
  }
  std::lock_guard lock(request->mutex);
  if (!request->sent) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  const std::string& headers = request->replyHeaders;
  std::size_t lineEnd = headers.find("\r\n");
  std::string statusLine = headers.substr(0, lineEnd);
  std::optional<std::string> value;
  auto header = [&](std::string_view name) -> std::optional<std::string> {
    std::size_t pos = lineEnd;
    while (pos != std::string::npos && pos + 2 < headers.size()) {
      std::size_t start = pos + 2;
      std::size_t end = headers.find("\r\n", start);
      std::string line = headers.substr(start, end == std::string::npos ? std::string::npos : end - start);
      std::size_t colon = line.find(':');
      if (colon == name.size() &&
          std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
            return (a | 0x20) == (b | 0x20);
          })) {
        std::size_t v = line.find_first_not_of(" \t", colon + 1);
        return v == std::string::npos ? std::string() : line.substr(v);
      }
      pos = end;
    }
    return std::nullopt;
  };
  if ((dwInfoLevel & 0xFFFF0000UL) & ~HTTP_QUERY_FLAG_NUMBER) {  // request headers, dates: not offered
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  switch (dwInfoLevel & 0xFFFF) {
    case HTTP_QUERY_STATUS_CODE: value = std::to_string(statusOf(headers)); break;
    case HTTP_QUERY_STATUS_TEXT: {
      std::size_t first = statusLine.find(' ');
      std::size_t second = first == std::string::npos ? first : statusLine.find(' ', first + 1);
      value = second == std::string::npos ? std::string() : statusLine.substr(second + 1);
      break;
    }
    case HTTP_QUERY_CONTENT_LENGTH: value = header("Content-Length"); break;
    case HTTP_QUERY_CONTENT_TYPE: value = header("Content-Type"); break;
    case HTTP_QUERY_LOCATION: value = header("Location"); break;
    case HTTP_QUERY_RAW_HEADERS_CRLF: value = headers + "\r\n"; break;
    default:
      SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return FALSE;
  }
  if (!value) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return FALSE;
  }
  if (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER) {
    DWORD number = 0;
    auto [p, ec] = std::from_chars(value->data(), value->data() + value->size(), number);
    if (ec != std::errc() || p != value->data() + value->size()) {
      SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
      return FALSE;
    }
    if (!lpBuffer || *lpdwBufferLength < sizeof(DWORD)) {
      *lpdwBufferLength = sizeof(DWORD);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(lpBuffer, &number, sizeof number);
    *lpdwBufferLength = sizeof(DWORD);
  } else {
    std::u16string wide = platform::text::fromUtf8(*value);
    DWORD need = static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t));
    if (!lpBuffer || *lpdwBufferLength < need) {
      *lpdwBufferLength = need;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(lpBuffer, wide.c_str(), need);
    *lpdwBufferLength = need - sizeof(char16_t);
  }
  if (lpdwIndex) *lpdwIndex = 1;
  return TRUE;
}

BOOL InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD, DWORD_PTR) {
  auto request = lookup(hFile, Kind::Request);
  if (!request) return FALSE;
  if (!lpdwNumberOfBytesAvailable) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DWORD error = platform::fault::check("InternetQueryDataAvailable", platform::text::fromUtf8(request->url))) {
    SetLastError(error);
    return FALSE;
  }
  std::lock_guard lock(request->mutex);
  auto exchange = exchangeOf(*request);
  if (!request->sent || !exchange) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  std::size_t ready = 0;
  CurlResult result = exchange->engine->available(exchange->transfer, ready);
  if (result != CurlResult::Ok) {
    SetLastError(errorOf(result));
    return FALSE;
  }
  *lpdwNumberOfBytesAvailable = static_cast<DWORD>(std::min<std::size_t>(ready, 0xFFFFFFFFu));
  return TRUE;
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead, LPDWORD lpdwNumberOfBytesRead) {
  if (!lpdwNumberOfBytesRead) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpdwNumberOfBytesRead = 0;
  auto request = lookup(hFile, Kind::Request);
  if (!request) return FALSE;
  if (!lpBuffer && dwNumberOfBytesToRead) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DWORD error = platform::fault::check("InternetReadFile", platform::text::fromUtf8(request->url))) {
    SetLastError(error);
    return FALSE;
  }
  std::lock_guard lock(request->mutex);
  auto exchange = exchangeOf(*request);
  if (!request->sent || !exchange) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  auto* out = static_cast<char*>(lpBuffer);
  DWORD done = 0;
  while (done < dwNumberOfBytesToRead) {
    std::size_t ready = 0;
    CurlResult result = exchange->engine->available(exchange->transfer, ready);
    if (result != CurlResult::Ok) {
      if (done > 0 && result != CurlResult::Cancelled) break;  // the next read reports it
      SetLastError(errorOf(result));
      return FALSE;
    }
    if (ready == 0) break;  // the end of the body
    done += static_cast<DWORD>(exchange->engine->take(exchange->transfer, out + done, dwNumberOfBytesToRead - done));
  }
  *lpdwNumberOfBytesRead = done;
  return TRUE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  auto object = find(hInternet);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  closeTree(object);
  return TRUE;
}
