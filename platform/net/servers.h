// The host's table of network servers and its trusted root certificates: what the stand-in's
// name lookup, ping and HTTPS answer from, so that no program of the host reaches a real network.
// Filled with `kipo-host net add` and `kipo-host net trust`; kept in host.db and shared by every
// process of the host.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::net {

struct Server {
  std::u16string name;   // "mail.example.com", compared without case
  std::string address;   // a numeric IPv4 or IPv6 address
  bool reachable = true; // whether it answers an echo request
  unsigned rttMs = 1;    // its round-trip time when it does
};

// Adds a server, or replaces the one of the same name (without case). Throws
// std::invalid_argument for an empty name or an address that is not numeric IPv4 or IPv6.
void addServer(const Server& server);
// False when no server of that name was listed.
bool removeServer(std::u16string_view name);
// Every server, by name without case.
std::vector<Server> servers();

// Case-insensitive lookup in the host's table; nullopt when not listed.
std::optional<Server> findServer(std::u16string_view name);

// Whether the text is a numeric IPv4 (dotted quad) or IPv6 address.
bool isNumericAddress(std::string_view text);

// Resolves a host name as the host's programs see it: a numeric IPv4/IPv6 address resolves to
// itself without the table; any other name only through the table. nullopt when unresolved.
std::optional<std::string> resolveAddress(std::u16string_view name);

// The host's trusted root certificates (PEM text), to which `kipo-host net trust CERT` adds,
// oldest first.
std::vector<std::string> trustedRoots();
// Adds a root (an identical text is kept once). The caller checks that it is a certificate.
void addTrustedRoot(const std::string& pem);

}  // namespace platform::net
