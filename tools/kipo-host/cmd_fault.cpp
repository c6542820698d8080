// kipo-host fault add|list|clear|points: host-wide fault injection, seen by every process of the
// host at its next call of the named function; only a call with a fault point can be named.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/modules/mapi32/points.h"
#include "platform/win32/system.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace fault = platform::fault;

bool parseNumber(const std::string& text, std::uint32_t& out) {
  std::uint64_t v = 0;
  if (!parseUnsigned(text, 0xFFFFFFFFu, v)) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

// An error code as a number (decimal or 0x hex) or a name such as ERROR_ACCESS_DENIED, or an
// HRESULT of MAPI's by name (MAPI_E_NETWORK_ERROR) for the MAPI stand-in's calls.
bool parseError(const std::string& text, std::uint32_t& out) {
  if (parseNumber(text, out)) return true;
  return platform::win32::errorByName(text, out) || mapi::hresultByName(text, out);
}

// A fault on a call that never asks could never act: say so rather than accept it.
int unknownPoint(const std::string& call) {
  return failure("no fault point named \"" + call + "\" (kipo-host fault points lists them)");
}

int add(const std::vector<std::string>& args) {
  if (args.size() < 2) return usageError("fault add CALL needs an action (--error CODE, --delay MS, --kill or --crash)");
  fault::Fault f;
  f.call = args[1];
  bool haveAction = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--kill" || a == "--crash") {
      if (haveAction) return usageError("give one action");
      f.action = a == "--kill" ? fault::Action::Kill : fault::Action::Crash;
      haveAction = true;
    } else if (a == "--error" || a == "--delay") {
      if (haveAction) return usageError("give one action");
      if (!value(v)) return usageError(a + " needs a value");
      if (a == "--error") {
        f.action = fault::Action::Fail;
        if (!parseError(v, f.error) || f.error == 0) return usageError("bad error code " + v);
      } else {
        f.action = fault::Action::Delay;
        if (!parseNumber(v, f.delayMs)) return usageError("bad delay " + v);
      }
      haveAction = true;
    } else if (a == "--subject") {
      if (!value(v)) return usageError("--subject needs a prefix");
      f.subject = platform::text::fromUtf8(v);
    } else if (a == "--nth") {
      if (!value(v) || !parseNumber(v, f.nth) || f.nth == 0) return usageError("--nth needs a number from 1");
    } else if (a == "--count") {
      if (!value(v) || !parseNumber(v, f.count)) return usageError("--count needs a number");
    } else {
      return usageError("unknown option " + a);
    }
  }
  if (!haveAction) return usageError("fault add needs --error CODE, --delay MS, --kill or --crash");
  if (!fault::isPoint(f.call)) return unknownPoint(f.call);
  std::printf("%lld\n", static_cast<long long>(fault::addHostFault(f)));
  return 0;
}

int list() {
  for (const auto& hf : fault::listHostFaults()) {
    const fault::Fault& f = hf.fault;
    std::printf("%lld %s subject=\"%s\" %s", static_cast<long long>(hf.id), f.call.c_str(),
                platform::text::toUtf8(f.subject).c_str(), fault::actionName(f.action));
    if (f.action == fault::Action::Fail) {
      std::string name = platform::win32::errorName(f.error);
      std::printf(" error=%u%s%s", f.error, name.empty() ? "" : " ", name.c_str());
    } else if (f.action == fault::Action::Delay) {
      std::printf(" delay=%u", f.delayMs);
    }
    std::printf(" nth=%u count=%u seen=%u\n", f.nth, f.count, hf.seen);
  }
  return 0;
}

int points() {
  for (const std::string& name : fault::points()) std::printf("%s\n", name.c_str());
  return 0;
}

int clear(const std::vector<std::string>& args) {
  if (args.size() == 1) {
    fault::clearHostFaults();
    return 0;
  }
  char* end = nullptr;
  long long id = std::strtoll(args[1].c_str(), &end, 10);
  if (args.size() != 2 || *end != 0) return usageError("fault clear [ID]");
  if (!fault::clearHostFault(id)) return failure("no fault " + args[1]);
  return 0;
}

// Makes one call as a stand-in call would ask, so that a fault can be tried from the shell.
int check(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3) return usageError("fault check CALL [SUBJECT]");
  if (!fault::isPoint(args[1])) return unknownPoint(args[1]);
  DWORD error = fault::check(args[1], platform::text::fromUtf8(args.size() == 3 ? args[2] : std::string()));
  std::printf("%u\n", error);
  return 0;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("fault needs add, list, clear or points");
  if (args[0] == "add") return add(args);
  if (args[0] == "list" && args.size() == 1) return list();
  if (args[0] == "points" && args.size() == 1) return points();
  if (args[0] == "clear") return clear(args);
  if (args[0] == "check") return check(args);
  return usageError("fault add|list|clear|points|check");
}

RegisterCommand faultCommand(
    {"fault",
     "fault add CALL [--subject PREFIX] (--error CODE | --delay MS | --kill | --crash) [--nth N] [--count N]\n"
     "                                make CALL fail, wait, kill its process or crash it with an\n"
     "                                access violation, in every process of the host (CALL: a fault\n"
     "                                point; CODE: a number or a name such as ERROR_ACCESS_DENIED;\n"
     "                                calls nth..nth+count-1 counted over the host, count 0 = all)\n"
     "fault list                      show the host's faults and how many calls each has matched\n"
     "fault points                    list the calls a fault can name\n"
     "fault clear [ID]                remove one fault or all of them\n"
     "fault check CALL [SUBJECT]      make one such call here and print the error it gets (0: none)",
     true, run});

}  // namespace
}  // namespace kipohost
