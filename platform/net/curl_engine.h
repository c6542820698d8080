// The table of the network helper library "libkipo_curl.so" (curl_engine.cpp, over libcurl):
// one HTTP exchange at a time per transfer, driven by the thread that reads it. Loaded at the
// first InternetOpenW (wininet.cpp). Not for product code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::net {

struct Transfer;  // one exchange, owned by the caller between begin and end

// How an exchange ended or stands; wininet.cpp turns it into a Windows error.
enum class CurlResult {
  Ok,
  Cancelled,
  CannotConnect,
  Timeout,
  ConnectionReset,  // the connection ended early, including a body short of its length
  InvalidCa,
  CertName,
  CertDate,
  SecurityError,
  InvalidResponse,
  InvalidUrl,
  OutOfMemory,
  Internal,
};

struct CurlParams {
  std::string method;   // "GET", "POST", ...
  std::string url;      // absolute http:// or https:// URL
  std::string host;     // the URL's host as curl sees it (brackets removed)
  std::uint16_t port = 0;
  std::string address;  // the numeric address to connect to instead of resolving `host`
  std::string headers;  // extra header lines, CR LF separated
  std::string body;     // sent when non-empty or when the method is not GET
  std::string rootsPem; // the trusted roots, PEM
  bool verifyName = true;
  long connectTimeoutMs = 60000;
  long receiveTimeoutMs = 30000;  // no byte for this long ends the exchange
};

struct CurlEngine {
  std::uint32_t size;  // sizeof(CurlEngine), checked by the loader
  // A new exchange (not yet started), or null when out of memory.
  Transfer* (*begin)(const CurlParams& params);
  // Runs until the final reply's headers are in, or the exchange failed.
  CurlResult (*waitHeaders)(Transfer* transfer);
  // The final reply's status line and header lines, each ending in CR LF.
  std::string (*headers)(Transfer* transfer);
  // The absolute target of a redirect reply, or empty.
  std::string (*redirectUrl)(Transfer* transfer);
  // Waits for body bytes; `ready` = bytes buffered (0 only at the end of the body).
  CurlResult (*available)(Transfer* transfer, std::size_t& ready);
  // Takes up to `size` buffered bytes (after available() said there are some).
  std::size_t (*take)(Transfer* transfer, void* buffer, std::size_t size);
  // From any thread: makes the waiting call return Cancelled as soon as it can.
  void (*cancel)(Transfer* transfer);
  // Frees the exchange; no other call on it may be running.
  void (*end)(Transfer* transfer);
};

}  // namespace platform::net

extern "C" const platform::net::CurlEngine kipoCurlEngine;
