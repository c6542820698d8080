// The network helper library (curl_engine.h): one libcurl easy handle in a multi handle per
// exchange, so that the reading thread drives it in steps and another thread can wake it to
// cancel. curl never resolves a name (each exchange pins its host to the given address) and
// never connects anywhere but the loopback network.
#include "platform/net/curl_engine.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace platform::net {

struct Transfer {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* resolve = nullptr;
  curl_slist* headerList = nullptr;
  CurlParams params;
  std::string headerBlock;   // the reply being received
  bool headersDone = false;  // the final (non-1xx) reply's header block ended
  std::string body;          // received, not yet taken
  std::size_t bodyPos = 0;
  bool finished = false;
  CURLcode code = CURLE_OK;
  std::atomic<bool> cancelled{false};
};

namespace {

std::once_flag globalInit;

bool isLoopback(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    return IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr) != 0;
  }
  return false;
}

// Only the loopback network is ever connected to: the simulated host has no other.
curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address) {
  if (!isLoopback(&address->addr)) return CURL_SOCKET_BAD;
  return socket(address->family, address->socktype, address->protocol);
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    t->headerBlock.clear();
    t->headersDone = false;
  }
  if (line == "\r\n" || line == "\n") {
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 || status == 0) t->headersDone = true;
    return size * count;
  }
  t->headerBlock += line;
  return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  if (t->bodyPos == t->body.size()) {
    t->body.clear();
    t->bodyPos = 0;
  }
  t->body.append(data, size * count);
  return size * count;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->cancelled.load() ? 1 : 0;
}

CurlResult resultOf(Transfer* t) {
  switch (t->code) {
    case CURLE_OK: return CurlResult::Ok;
    case CURLE_ABORTED_BY_CALLBACK: return CurlResult::Cancelled;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST: return CurlResult::CannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return CurlResult::Timeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: return CurlResult::ConnectionReset;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: return CurlResult::InvalidResponse;
    case CURLE_URL_MALFORMAT: return CurlResult::InvalidUrl;
    case CURLE_OUT_OF_MEMORY: return CurlResult::OutOfMemory;
    case CURLE_PEER_FAILED_VERIFICATION: {
      // The chain is checked first and reports its own X509_V_ERR_ code; a good chain that then
      // failed names the wrong host: curl's own check leaves 0 or X509_V_ERR_UNSPECIFIED (1),
      // OpenSSL's gives X509_V_ERR_HOSTNAME_MISMATCH (62).
      long verify = 0;
      curl_easy_getinfo(t->easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      if (verify == 0 || verify == 1 || verify == 62) return CurlResult::CertName;
      if (verify == 9 || verify == 10) return CurlResult::CertDate;  // not yet valid, expired
      return CurlResult::InvalidCa;
    }
    case CURLE_SSL_CACERT_BADFILE: return CurlResult::InvalidCa;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER: return CurlResult::SecurityError;
    default: return CurlResult::Internal;
  }
}

// Drives the exchange until `ready` holds, it finished, or it was cancelled.
template <class Ready>
CurlResult drive(Transfer* t, Ready ready) {
  while (!ready()) {
    if (t->cancelled.load()) return CurlResult::Cancelled;
    if (t->finished) return resultOf(t);
    int running = 0;
    if (curl_multi_perform(t->multi, &running) != CURLM_OK) return CurlResult::Internal;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(t->multi, &left)) {
      if (message->msg == CURLMSG_DONE) {
        t->finished = true;
        t->code = message->data.result;
      }
    }
    if (ready()) break;
    if (t->finished) continue;
    if (curl_multi_poll(t->multi, nullptr, 0, 1000, nullptr) != CURLM_OK) return CurlResult::Internal;
  }
  return CurlResult::Ok;
}

Transfer* begin(const CurlParams& params) {
  std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  auto t = std::make_unique<Transfer>();
  t->params = params;
  t->multi = curl_multi_init();
  t->easy = curl_easy_init();
  if (!t->multi || !t->easy) {
    if (t->easy) curl_easy_cleanup(t->easy);
    if (t->multi) curl_multi_cleanup(t->multi);
    return nullptr;
  }
  const CurlParams& p = t->params;
  std::string host = p.host.find(':') != std::string::npos ? "[" + p.host + "]" : p.host;
  std::string address = p.address.find(':') != std::string::npos ? "[" + p.address + "]" : p.address;
  std::string pin = host + ":" + std::to_string(p.port) + ":" + address;
  t->resolve = curl_slist_append(nullptr, pin.c_str());
  std::size_t start = 0;
  while (start < p.headers.size()) {
    std::size_t end = p.headers.find('\n', start);
    if (end == std::string::npos) end = p.headers.size();
    std::string line = p.headers.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) t->headerList = curl_slist_append(t->headerList, line.c_str());
    start = end + 1;
  }
  CURL* e = t->easy;
  curl_easy_setopt(e, CURLOPT_URL, p.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_RESOLVE, t->resolve);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &openSocket);
  curl_easy_setopt(e, CURLOPT_PROXY, "");
  curl_easy_setopt(e, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  // No signals from curl (it is used from many threads); its writes, TLS included, go through
  // send() without SIGPIPE, so a server that hangs up gives an error, not the end of the process.
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headerList);
  curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, p.method == "GET" ? nullptr : p.method.c_str());
  if (p.method == "HEAD") curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  if (p.method != "GET" && p.method != "HEAD") {
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(p.body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, p.body.data());
  }
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, p.connectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, (p.receiveTimeoutMs + 999) / 1000);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());
  // Trust the host's roots and nothing else (not the Linux system's store).
  curl_blob roots{const_cast<char*>(p.rootsPem.data()), p.rootsPem.size(), CURL_BLOB_NOCOPY};
  curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(e, CURLOPT_CAINFO_BLOB, &roots);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, p.verifyName ? 2L : 0L);
  if (curl_multi_add_handle(t->multi, e) != CURLM_OK) {
    curl_easy_cleanup(e);
    curl_multi_cleanup(t->multi);
    curl_slist_free_all(t->resolve);
    curl_slist_free_all(t->headerList);
    return nullptr;
  }
  return t.release();
}

CurlResult waitHeaders(Transfer* t) {
  CurlResult r = drive(t, [t] { return t->headersDone; });
  if (r != CurlResult::Ok) return r;
  return t->headersDone ? CurlResult::Ok : resultOf(t);
}

std::string headers(Transfer* t) { return t->headerBlock; }

std::string redirectUrl(Transfer* t) {
  char* url = nullptr;
  curl_easy_getinfo(t->easy, CURLINFO_REDIRECT_URL, &url);
  return url ? std::string(url) : std::string();
}

CurlResult available(Transfer* t, std::size_t& ready) {
  ready = 0;
  CurlResult r = drive(t, [t] { return t->bodyPos < t->body.size(); });
  if (r != CurlResult::Ok) return r;
  ready = t->body.size() - t->bodyPos;
  if (ready == 0) return resultOf(t);  // finished with nothing left: the end, or why it stopped
  return CurlResult::Ok;
}

std::size_t take(Transfer* t, void* buffer, std::size_t size) {
  std::size_t n = std::min(size, t->body.size() - t->bodyPos);
  t->body.copy(static_cast<char*>(buffer), n, t->bodyPos);
  t->bodyPos += n;
  return n;
}

void cancel(Transfer* t) {
  t->cancelled.store(true);
  curl_multi_wakeup(t->multi);
}

void end(Transfer* t) {
  curl_multi_remove_handle(t->multi, t->easy);
  curl_easy_cleanup(t->easy);
  curl_multi_cleanup(t->multi);
  curl_slist_free_all(t->resolve);
  curl_slist_free_all(t->headerList);
  delete t;  // made by begin's unique_ptr, handed over as the caller's handle
}

}  // namespace

}  // namespace platform::net

extern "C" const platform::net::CurlEngine kipoCurlEngine{
    sizeof(platform::net::CurlEngine), &platform::net::begin,    &platform::net::waitHeaders,
    &platform::net::headers,           &platform::net::redirectUrl, &platform::net::available,
    &platform::net::take,              &platform::net::cancel,   &platform::net::end};
