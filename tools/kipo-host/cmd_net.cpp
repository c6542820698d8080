// kipo-host net: the host's server table (what name lookup and ping answer from) and its trusted
// root certificates (what HTTPS checks a server's certificate against).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/base64.h"
#include "platform/base/text.h"
#include "platform/net/servers.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace net = platform::net;

constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
// A certificate file larger than this is not one.
constexpr std::uintmax_t kMaxCertFile = 1 << 20;

// Strict base64 (line breaks allowed, padding only at the end); nullopt when malformed.
std::optional<std::string> decodeBase64(std::string_view body) {
  std::string clean;
  for (char c : body)
    if (c != '\n' && c != '\r') clean += c;
  std::string out;
  if (clean.empty() || !platform::base64::decode(clean, out)) return std::nullopt;
  return out;
}

// Whether the bytes are exactly one DER SEQUENCE, as a certificate is: the outer tag and its
// length agree with the size, so truncated or padded text is refused without parsing X.509.
bool isDerSequence(std::string_view der) {
  if (der.size() < 2 || static_cast<unsigned char>(der[0]) != 0x30) return false;
  unsigned char first = static_cast<unsigned char>(der[1]);
  std::size_t header = 2;
  std::size_t length = first;
  if (first & 0x80) {
    std::size_t octets = first & 0x7F;
    if (octets == 0 || octets > 4 || der.size() < 2 + octets) return false;
    length = 0;
    for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | static_cast<unsigned char>(der[2 + i]);
    header += octets;
  }
  return length == der.size() - header;
}

// The certificate blocks of a PEM text, each normalised to its armour and body; empty when the
// text holds none or any block is malformed.
std::vector<std::string> certificateBlocks(const std::string& text, std::string& why) {
  std::vector<std::string> blocks;
  std::size_t pos = 0;
  while ((pos = text.find(kBegin, pos)) != std::string::npos) {
    std::size_t bodyStart = pos + kBegin.size();
    std::size_t end = text.find(kEnd, bodyStart);
    if (end == std::string::npos) {
      why = "a certificate block has no end line";
      return {};
    }
    std::string_view body(text.data() + bodyStart, end - bodyStart);
    std::optional<std::string> der = decodeBase64(body);
    if (!der || !isDerSequence(*der)) {
      why = "a certificate block is not base64 of a DER certificate";
      return {};
    }
    std::string block(kBegin);
    // Line ends become LF, so the same root from a CR LF file is stored once.
    std::string b;
    for (char c : body)
      if (c != '\r') b += c;
    while (!b.empty() && (b.front() == '\n' || b.front() == '\r')) b.erase(b.begin());
    while (!b.empty() && (b.back() == '\n' || b.back() == '\r')) b.pop_back();
    block += "\n" + b + "\n" + std::string(kEnd) + "\n";
    blocks.push_back(std::move(block));
    pos = end + kEnd.size();
  }
  if (blocks.empty()) why = "no PEM certificate in it";
  return blocks;
}

int add(const std::vector<std::string>& args) {
  if (args.size() < 2 || args[1].empty()) return usageError("net add needs NAME --address A");
  net::Server server;
  server.name = platform::text::fromUtf8(args[1]);
  bool haveAddress = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--unreachable") {
      server.reachable = false;
    } else if (option == "--address" || option == "--rtt") {
      if (i + 1 >= args.size()) return usageError(option + " needs a value");
      const std::string& value = args[++i];
      if (option == "--address") {
        server.address = value;
        haveAddress = true;
      } else {
        std::uint64_t rtt = 0;
        if (!parseUnsigned(value, 60000, rtt)) return usageError("--rtt takes milliseconds, 0 to 60000");
        server.rttMs = static_cast<unsigned>(rtt);
      }
    } else {
      return usageError("unknown option " + option);
    }
  }
  if (!haveAddress) return usageError("net add needs --address A");
  try {
    net::addServer(server);
  } catch (const std::invalid_argument& e) {
    return failure(e.what());
  }
  return 0;
}

int list() {
  for (const net::Server& s : net::servers())
    std::printf("%-30s %-39s %-11s %u ms\n", platform::text::toUtf8(s.name).c_str(), s.address.c_str(),
                s.reachable ? "reachable" : "unreachable", s.rttMs);
  return 0;
}

int trust(const std::string& file) {
  std::error_code ec;
  std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) return failure("cannot read " + file);
  if (size > kMaxCertFile) return failure(file + " is too large for a certificate file");
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in) return failure("cannot read " + file);
  std::string why;
  std::vector<std::string> blocks = certificateBlocks(content.str(), why);
  if (blocks.empty()) return failure(file + ": " + why);
  for (const std::string& block : blocks) net::addTrustedRoot(block);
  return 0;
}

int netCommand(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("net needs add, remove, list or trust");
  const std::string& what = args[0];
  if (what == "add") return add(args);
  if (what == "remove") {
    if (args.size() != 2) return usageError("net remove needs one NAME");
    if (!net::removeServer(platform::text::fromUtf8(args[1]))) return failure("no server " + args[1]);
    return 0;
  }
  if (what == "list") {
    if (args.size() != 1) return usageError("net list takes no arguments");
    return list();
  }
  if (what == "trust") {
    if (args.size() != 2) return usageError("net trust needs one CERTFILE");
    return trust(args[1]);
  }
  return usageError("unknown net command " + what);
}

RegisterCommand netCommandEntry(
    {"net",
     "net add NAME --address A [--unreachable] [--rtt MS]   list a server for name lookup and ping\n"
     "net remove NAME                  take a server off the list\n"
     "net list                         list the servers: name, address, reachability, round trip\n"
     "net trust CERTFILE               trust the PEM root certificate(s) in CERTFILE for HTTPS",
     true, netCommand});

}  // namespace
}  // namespace kipohost
