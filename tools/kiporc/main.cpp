// kiporc: the resource compiler run at build time. Compiles a resource script into a resource
// file (a resource-only module on its own), attaches a resource file to a built program or shared
// object as its resource section, and lists the resources of any file.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host/module_format.h"
#include "tools/kiporc/rc_compiler.h"

namespace {

namespace fs = std::filesystem;
namespace rsrc = platform::rsrc;

int usage() {
  std::fprintf(stderr,
               "usage: kiporc [-I DIR]... [-D NAME[=VALUE]]... -o OUTPUT SCRIPT.rc\n"
               "       kiporc --attach TARGET RESOURCEFILE\n"
               "       kiporc --list FILE\n");
  return 2;
}

std::string idText(const rsrc::Id& id) {
  if (!id.isText()) return std::to_string(id.number);
  std::string s;
  for (char16_t c : id.text) s += c < 0x80 ? static_cast<char>(c) : '?';
  return "\"" + s + "\"";
}

int list(const fs::path& file) {
  std::vector<std::uint8_t> section;
  std::string problem;
  switch (rsrc::readSectionOfFile(file, section, problem)) {
    case rsrc::Found::None:
      std::printf("%s: no resources\n", file.c_str());
      return 0;
    case rsrc::Found::Section:
      break;
    default:
      std::fprintf(stderr, "kiporc: %s: %s\n", file.c_str(), problem.c_str());
      return 1;
  }
  std::vector<rsrc::Entry> entries;
  if (!rsrc::parseSection(section.data(), section.size(), entries, problem)) {
    std::fprintf(stderr, "kiporc: %s: %s\n", file.c_str(), problem.c_str());
    return 1;
  }
  for (const rsrc::Entry& e : entries)
    std::printf("type %s name %s language %04x size %u\n", idText(e.type).c_str(), idText(e.name).c_str(),
                e.language, e.size);
  return 0;
}

int attach(const fs::path& target, const fs::path& resourceFile) {
  std::ifstream in(resourceFile, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kiporc: cannot read %s\n", resourceFile.c_str());
    return 1;
  }
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::string problem;
  if (!rsrc::attachResourceFile(target, bytes, problem)) {
    std::fprintf(stderr, "kiporc: %s\n", problem.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--attach") return attach(args[1], args[2]);
  if (args.size() == 2 && args[0] == "--list") return list(args[1]);
  kiporc::Options options;
  fs::path output, script;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::size_t skip) -> std::string {
      if (a.size() > skip) return a.substr(skip);
      if (i + 1 < args.size()) return args[++i];
      return {};
    };
    if (a.rfind("-I", 0) == 0) {
      options.includeDirs.emplace_back(value(2));
    } else if (a.rfind("-D", 0) == 0) {
      std::string d = value(2);
      std::size_t eq = d.find('=');
      options.defines[d.substr(0, eq)] = eq == std::string::npos ? "" : d.substr(eq + 1);
    } else if (a == "-o") {
      output = value(2);
    } else if (!a.empty() && a[0] != '-' && script.empty()) {
      script = a;
    } else {
      return usage();
    }
  }
  if (output.empty() || script.empty()) return usage();
  try {
    std::vector<rsrc::Resource> resources = kiporc::compile(script, options);
    std::vector<std::uint8_t> bytes = rsrc::writeResourceFile(resources);
    fs::path temp = output;
    temp += ".tmp";
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!out) throw kiporc::CompileError("cannot write " + temp.string());
    }
    fs::rename(temp, output);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kiporc: %s\n", e.what());
    return 1;
  }
  return 0;
}
