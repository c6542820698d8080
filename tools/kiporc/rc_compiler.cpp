// The resource script compiler: a small preprocessor (#include, #define, #if family), a lexer with
// macro substitution, and a parser for STRINGTABLE, DIALOG/DIALOGEX, MENU, ICON, BITMAP, HTML,
// RCDATA, custom types and VERSIONINFO that writes each resource in its Windows binary layout.
#include "tools/kiporc/rc_compiler.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

namespace kiporc {

namespace fs = std::filesystem;
using platform::rsrc::Id;
using platform::rsrc::Resource;

namespace {

// ---------------------------------------------------------------- text helpers

std::u16string utf8ToUtf16(const std::string& s, const std::string& where) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      throw CompileError(where + ": text is not UTF-8");
    }
    if (extra && i + extra >= s.size()) throw CompileError(where + ": text is not UTF-8");
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) throw CompileError(where + ": text is not UTF-8");
      cp = (cp << 6) | (d & 0x3F);
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::u16string upper16(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void putText(std::vector<std::uint8_t>& out, const std::u16string& s) {
  for (char16_t c : s) put16(out, c);
  put16(out, 0);
}
void align4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4) out.push_back(0);
}

std::vector<std::uint8_t> readBinary(const fs::path& file, const std::string& where) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw CompileError(where + ": cannot read " + file.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// ---------------------------------------------------------------- tokens

enum class Tok { Ident, Number, String, Punct, End };

struct Token {
  Tok kind = Tok::End;
  std::string text;        // identifier or punctuation
  std::uint32_t value = 0; // number
  bool isLong = false;     // number with an L suffix
  bool wide = false;       // L"..." string
  std::u16string str;      // string contents
  std::string where;       // "file:line"
};

// Windows constants a script may name without a header: styles, ids, languages, version flags.
const std::map<std::string, std::uint32_t>& builtinConstants() {
  static const std::map<std::string, std::uint32_t> table = {
      {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000},
      {"WS_MINIMIZE", 0x20000000}, {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000},
      {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000}, {"WS_MAXIMIZE", 0x01000000},
      {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000}, {"WS_DLGFRAME", 0x00400000},
      {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000}, {"WS_SYSMENU", 0x00080000},
      {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
      {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000}, {"WS_OVERLAPPEDWINDOW", 0x00CF0000},
      {"WS_POPUPWINDOW", 0x80880000}, {"WS_EX_DLGMODALFRAME", 0x1}, {"WS_EX_NOPARENTNOTIFY", 0x4},
      {"WS_EX_TOPMOST", 0x8}, {"WS_EX_ACCEPTFILES", 0x10}, {"WS_EX_TRANSPARENT", 0x20},
      {"WS_EX_MDICHILD", 0x40}, {"WS_EX_TOOLWINDOW", 0x80}, {"WS_EX_WINDOWEDGE", 0x100},
      {"WS_EX_CLIENTEDGE", 0x200}, {"WS_EX_CONTEXTHELP", 0x400}, {"WS_EX_RIGHT", 0x1000},
      {"WS_EX_STATICEDGE", 0x20000}, {"WS_EX_APPWINDOW", 0x40000}, {"WS_EX_CONTROLPARENT", 0x10000},
      {"DS_ABSALIGN", 0x1}, {"DS_SYSMODAL", 0x2}, {"DS_LOCALEDIT", 0x20}, {"DS_SETFONT", 0x40},
      {"DS_MODALFRAME", 0x80}, {"DS_NOIDLEMSG", 0x100}, {"DS_SETFOREGROUND", 0x200}, {"DS_3DLOOK", 0x4},
      {"DS_FIXEDSYS", 0x8}, {"DS_NOFAILCREATE", 0x10}, {"DS_CONTROL", 0x400}, {"DS_CENTER", 0x800},
      {"DS_CENTERMOUSE", 0x1000}, {"DS_CONTEXTHELP", 0x2000}, {"DS_SHELLFONT", 0x48},
      {"BS_PUSHBUTTON", 0x0}, {"BS_DEFPUSHBUTTON", 0x1}, {"BS_CHECKBOX", 0x2}, {"BS_AUTOCHECKBOX", 0x3},
      {"BS_RADIOBUTTON", 0x4}, {"BS_3STATE", 0x5}, {"BS_AUTO3STATE", 0x6}, {"BS_GROUPBOX", 0x7},
      {"BS_USERBUTTON", 0x8}, {"BS_AUTORADIOBUTTON", 0x9}, {"BS_PUSHBOX", 0xA}, {"BS_OWNERDRAW", 0xB},
      {"BS_LEFTTEXT", 0x20}, {"BS_TEXT", 0x0}, {"BS_ICON", 0x40}, {"BS_BITMAP", 0x80}, {"BS_LEFT", 0x100},
      {"BS_RIGHT", 0x200}, {"BS_CENTER", 0x300}, {"BS_TOP", 0x400}, {"BS_BOTTOM", 0x800},
      {"BS_VCENTER", 0xC00}, {"BS_PUSHLIKE", 0x1000}, {"BS_MULTILINE", 0x2000}, {"BS_NOTIFY", 0x4000},
      {"BS_FLAT", 0x8000}, {"ES_LEFT", 0x0}, {"ES_CENTER", 0x1}, {"ES_RIGHT", 0x2}, {"ES_MULTILINE", 0x4},
      {"ES_UPPERCASE", 0x8}, {"ES_LOWERCASE", 0x10}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40},
      {"ES_AUTOHSCROLL", 0x80}, {"ES_NOHIDESEL", 0x100}, {"ES_OEMCONVERT", 0x400}, {"ES_READONLY", 0x800},
      {"ES_WANTRETURN", 0x1000}, {"ES_NUMBER", 0x2000}, {"SS_LEFT", 0x0}, {"SS_CENTER", 0x1},
      {"SS_RIGHT", 0x2}, {"SS_ICON", 0x3}, {"SS_BLACKRECT", 0x4}, {"SS_GRAYRECT", 0x5},
      {"SS_WHITERECT", 0x6}, {"SS_BLACKFRAME", 0x7}, {"SS_GRAYFRAME", 0x8}, {"SS_WHITEFRAME", 0x9},
      {"SS_SIMPLE", 0xB}, {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_OWNERDRAW", 0xD}, {"SS_BITMAP", 0xE},
      {"SS_ETCHEDHORZ", 0x10}, {"SS_ETCHEDVERT", 0x11}, {"SS_ETCHEDFRAME", 0x12}, {"SS_NOPREFIX", 0x80},
      {"SS_NOTIFY", 0x100}, {"SS_CENTERIMAGE", 0x200}, {"SS_REALSIZEIMAGE", 0x800}, {"SS_SUNKEN", 0x1000},
      {"SS_ENDELLIPSIS", 0x4000}, {"SS_PATHELLIPSIS", 0x8000}, {"SS_WORDELLIPSIS", 0xC000},
      {"CBS_SIMPLE", 0x1}, {"CBS_DROPDOWN", 0x2}, {"CBS_DROPDOWNLIST", 0x3}, {"CBS_OWNERDRAWFIXED", 0x10},
      {"CBS_OWNERDRAWVARIABLE", 0x20}, {"CBS_AUTOHSCROLL", 0x40}, {"CBS_OEMCONVERT", 0x80},
      {"CBS_SORT", 0x100}, {"CBS_HASSTRINGS", 0x200}, {"CBS_NOINTEGRALHEIGHT", 0x400},
      {"CBS_DISABLENOSCROLL", 0x800}, {"CBS_UPPERCASE", 0x2000}, {"CBS_LOWERCASE", 0x4000},
      {"LBS_NOTIFY", 0x1}, {"LBS_SORT", 0x2}, {"LBS_NOREDRAW", 0x4}, {"LBS_MULTIPLESEL", 0x8},
      {"LBS_OWNERDRAWFIXED", 0x10}, {"LBS_OWNERDRAWVARIABLE", 0x20}, {"LBS_HASSTRINGS", 0x40},
      {"LBS_USETABSTOPS", 0x80}, {"LBS_NOINTEGRALHEIGHT", 0x100}, {"LBS_MULTICOLUMN", 0x200},
      {"LBS_WANTKEYBOARDINPUT", 0x400}, {"LBS_EXTENDEDSEL", 0x800}, {"LBS_DISABLENOSCROLL", 0x1000},
      {"LBS_NOSEL", 0x4000}, {"LBS_STANDARD", 0x00A00003}, {"SBS_HORZ", 0x0}, {"SBS_VERT", 0x1},
      {"LVS_ICON", 0x0}, {"LVS_REPORT", 0x1}, {"LVS_SMALLICON", 0x2}, {"LVS_LIST", 0x3},
      {"LVS_SINGLESEL", 0x4}, {"LVS_SHOWSELALWAYS", 0x8}, {"LVS_SORTASCENDING", 0x10},
      {"LVS_SHAREIMAGELISTS", 0x40}, {"LVS_NOLABELWRAP", 0x80}, {"LVS_AUTOARRANGE", 0x100},
      {"LVS_EDITLABELS", 0x200}, {"LVS_OWNERDATA", 0x1000}, {"LVS_NOSCROLL", 0x2000},
      {"LVS_NOCOLUMNHEADER", 0x4000}, {"LVS_NOSORTHEADER", 0x8000}, {"TVS_HASBUTTONS", 0x1},
      {"TVS_HASLINES", 0x2}, {"TVS_LINESATROOT", 0x4}, {"TVS_EDITLABELS", 0x8},
      {"TVS_DISABLEDRAGDROP", 0x10}, {"TVS_SHOWSELALWAYS", 0x20}, {"TVS_CHECKBOXES", 0x100},
      {"TVS_TRACKSELECT", 0x200}, {"TVS_FULLROWSELECT", 0x1000}, {"PBS_SMOOTH", 0x1},
      {"PBS_VERTICAL", 0x4}, {"ACS_CENTER", 0x1}, {"ACS_TRANSPARENT", 0x2}, {"ACS_AUTOPLAY", 0x4},
      {"TCS_TABS", 0x0}, {"TCS_MULTILINE", 0x200}, {"TCS_FIXEDWIDTH", 0x400},
      {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6},
      {"IDNO", 7}, {"IDCLOSE", 8}, {"IDHELP", 9}, {"IDC_STATIC", 0xFFFFFFFF},
      {"LANG_NEUTRAL", 0x00}, {"LANG_CHINESE", 0x04}, {"LANG_GERMAN", 0x07}, {"LANG_ENGLISH", 0x09},
      {"LANG_SPANISH", 0x0a}, {"LANG_FRENCH", 0x0c}, {"LANG_ITALIAN", 0x10}, {"LANG_JAPANESE", 0x11},
      {"LANG_KOREAN", 0x12}, {"LANG_DUTCH", 0x13}, {"LANG_PORTUGUESE", 0x16}, {"LANG_SWEDISH", 0x1d},
      {"LANG_THAI", 0x1e}, {"SUBLANG_NEUTRAL", 0x00}, {"SUBLANG_DEFAULT", 0x01}, {"SUBLANG_SYS_DEFAULT", 0x02},
      {"SUBLANG_ENGLISH_US", 0x01}, {"SUBLANG_ENGLISH_UK", 0x02}, {"SUBLANG_FRENCH", 0x01},
      {"SUBLANG_FRENCH_CANADIAN", 0x03}, {"SUBLANG_GERMAN", 0x01}, {"SUBLANG_SPANISH", 0x01},
      {"SUBLANG_SPANISH_MODERN", 0x03}, {"SUBLANG_ITALIAN", 0x01}, {"SUBLANG_DUTCH", 0x01},
      {"SUBLANG_PORTUGUESE", 0x02}, {"SUBLANG_PORTUGUESE_BRAZILIAN", 0x01},
      {"SUBLANG_CHINESE_TRADITIONAL", 0x01}, {"SUBLANG_CHINESE_SIMPLIFIED", 0x02},
      {"VS_FF_DEBUG", 0x1}, {"VS_FF_PRERELEASE", 0x2}, {"VS_FF_PATCHED", 0x4}, {"VS_FF_PRIVATEBUILD", 0x8},
      {"VS_FF_INFOINFERRED", 0x10}, {"VS_FF_SPECIALBUILD", 0x20}, {"VS_FFI_FILEFLAGSMASK", 0x3F},
      {"VOS_UNKNOWN", 0x0}, {"VOS__WINDOWS32", 0x4}, {"VOS_NT", 0x40000}, {"VOS_NT_WINDOWS32", 0x40004},
      {"VFT_UNKNOWN", 0x0}, {"VFT_APP", 0x1}, {"VFT_DLL", 0x2}, {"VFT_DRV", 0x3}, {"VFT_FONT", 0x4},
      {"VFT_STATIC_LIB", 0x7}, {"VFT2_UNKNOWN", 0x0},
  };
  return table;
}

// ---------------------------------------------------------------- lexer

class Lexer {
 public:
  // Splits one logical line; the caller has removed comments.
  static void split(const std::string& line, const std::string& where, std::vector<Token>& out) {
    std::size_t i = 0;
    while (i < line.size()) {
      char c = line[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      Token t;
      t.where = where;
      if ((c == 'L' || c == 'l') && i + 1 < line.size() && line[i + 1] == '"') {
        t.wide = true;
        ++i;
        c = '"';
      }
      if (c == '"') {
        t.kind = Tok::String;
        i = readString(line, i + 1, where, t.wide, t.str);
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        t.kind = Tok::Number;
        std::size_t start = i;
        while (i < line.size() && std::isalnum(static_cast<unsigned char>(line[i]))) ++i;
        std::string digits = line.substr(start, i - start);
        while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' ||
                                   digits.back() == 'u')) {
          if (digits.back() == 'L' || digits.back() == 'l') t.isLong = true;
          digits.pop_back();
        }
        std::size_t used = 0;
        unsigned long long v = 0;
        try {
          v = std::stoull(digits, &used, 0);
        } catch (...) {
          used = 0;
        }
        if (used != digits.size() || digits.empty()) throw CompileError(where + ": bad number " + line.substr(start, i - start));
        t.value = static_cast<std::uint32_t>(v);
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        t.kind = Tok::Ident;
        std::size_t start = i;
        while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_')) ++i;
        t.text = line.substr(start, i - start);
      } else {
        t.kind = Tok::Punct;
        static const char* const two[] = {"||", "&&", "==", "!=", "<=", ">=", "<<", ">>"};
        t.text = std::string(1, c);
        for (const char* op : two)
          if (line.compare(i, 2, op) == 0) t.text = op;
        i += t.text.size();
      }
      out.push_back(std::move(t));
    }
  }

 private:
  static std::size_t readString(const std::string& line, std::size_t i, const std::string& where, bool wide,
                                std::u16string& out) {
    std::string raw;  // UTF-8 with escapes resolved to code points below
    std::u16string result;
    auto flush = [&] {
      result += utf8ToUtf16(raw, where);
      raw.clear();
    };
    for (;;) {
      if (i >= line.size()) throw CompileError(where + ": string not closed");
      char c = line[i++];
      if (c == '"') {
        if (i < line.size() && line[i] == '"') {  // "" stands for one quote
          raw += '"';
          ++i;
          continue;
        }
        break;
      }
      if (c != '\\') {
        raw += c;
        continue;
      }
      if (i >= line.size()) throw CompileError(where + ": string not closed");
      char e = line[i++];
      switch (e) {
        case 'n': raw += '\n'; break;
        case 't': raw += '\t'; break;
        case 'r': raw += '\r'; break;
        case 'a': raw += '\a'; break;
        case '\\': raw += '\\'; break;
        case '"': raw += '"'; break;
        case '\'': raw += '\''; break;
        case 'x':
        case 'X': {
          std::size_t maxDigits = wide ? 4 : 2, n = 0;
          std::uint32_t v = 0;
          while (n < maxDigits && i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
            v = v * 16 + static_cast<std::uint32_t>(std::stoi(std::string(1, line[i++]), nullptr, 16));
            ++n;
          }
          if (!n) throw CompileError(where + ": \\x without digits");
          flush();
          result += static_cast<char16_t>(v);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            std::uint32_t v = static_cast<std::uint32_t>(e - '0');
            for (int n = 1; n < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++n)
              v = v * 8 + static_cast<std::uint32_t>(line[i++] - '0');
            flush();
            result += static_cast<char16_t>(v);
          } else {
            raw += '\\';
            raw += e;
          }
      }
    }
    flush();
    out = result;
    return i;
  }
};

// ---------------------------------------------------------------- expressions

// Evaluates expressions over tokens; `lookup` names identifiers (false: unknown).
class Expr {
 public:
  Expr(const std::vector<Token>& t, std::size_t& pos, std::function<bool(const std::string&, std::uint32_t&)> lookup)
      : t_(t), pos_(pos), lookup_(std::move(lookup)) {}

  std::uint32_t parse() { return binary(1); }
  // One operand with its unary operators (for NOT in style lists).
  std::uint32_t unaryOnly() { return unary(); }
  // An expression that stops before '|' (the style list splits on it).
  std::uint32_t belowOr() { return binary(4); }

 private:
  const Token& peek() const {
    static const Token end;
    return pos_ < t_.size() ? t_[pos_] : end;
  }
  bool isPunct(const char* p) const { return peek().kind == Tok::Punct && peek().text == p; }
  std::string where() const { return pos_ < t_.size() ? t_[pos_].where : (t_.empty() ? "" : t_.back().where); }

  static int precedence(const std::string& op) {
    static const std::map<std::string, int> p = {{"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4}, {"&", 5},
                                                 {"==", 6}, {"!=", 6}, {"<", 7}, {">", 7}, {"<=", 7},
                                                 {">=", 7}, {"<<", 8}, {">>", 8}, {"+", 9}, {"-", 9},
                                                 {"*", 10}, {"/", 10}, {"%", 10}};
    auto it = p.find(op);
    return it == p.end() ? -1 : it->second;
  }

  // Operators binding at least as tightly as minPrec, left to right.
  std::uint32_t binary(int minPrec) {
    std::uint32_t left = unary();
    for (;;) {
      if (peek().kind != Tok::Punct) return left;
      int prec = precedence(peek().text);
      if (prec < minPrec) return left;
      std::string op = t_[pos_++].text;
      std::uint32_t right = binary(prec + 1);
      left = apply(op, left, right);
    }
  }

  std::uint32_t apply(const std::string& op, std::uint32_t a, std::uint32_t b) {
    if (op == "||") return a || b;
    if (op == "&&") return a && b;
    if (op == "|") return a | b;
    if (op == "^") return a ^ b;
    if (op == "&") return a & b;
    if (op == "==") return a == b;
    if (op == "!=") return a != b;
    if (op == "<") return static_cast<std::int32_t>(a) < static_cast<std::int32_t>(b);
    if (op == ">") return static_cast<std::int32_t>(a) > static_cast<std::int32_t>(b);
    if (op == "<=") return static_cast<std::int32_t>(a) <= static_cast<std::int32_t>(b);
    if (op == ">=") return static_cast<std::int32_t>(a) >= static_cast<std::int32_t>(b);
    if (op == "<<") return a << (b & 31);
    if (op == ">>") return a >> (b & 31);
    if (op == "+") return a + b;
    if (op == "-") return a - b;
    if (op == "*") return a * b;
    if ((op == "/" || op == "%") && b == 0) throw CompileError(where() + ": division by zero");
    if (op == "/") return a / b;
    return a % b;
  }

  std::uint32_t unary() {
    const Token& t = peek();
    if (t.kind == Tok::Punct) {
      if (t.text == "-") return ++pos_, 0u - unary();
      if (t.text == "+") return ++pos_, unary();
      if (t.text == "~") return ++pos_, ~unary();
      if (t.text == "!") return ++pos_, static_cast<std::uint32_t>(!unary());
      if (t.text == "(") {
        ++pos_;
        std::uint32_t v = binary(1);
        if (!isPunct(")")) throw CompileError(where() + ": ')' expected");
        ++pos_;
        return v;
      }
    }
    if (t.kind == Tok::Number) return ++pos_, t.value;
    if (t.kind == Tok::Ident) {
      std::uint32_t v = 0;
      if (!lookup_(t.text, v)) throw CompileError(t.where + ": unknown symbol " + t.text);
      ++pos_;
      return v;
    }
    throw CompileError(where() + ": number expected");
  }

  const std::vector<Token>& t_;
  std::size_t& pos_;
  std::function<bool(const std::string&, std::uint32_t&)> lookup_;
};

// ---------------------------------------------------------------- preprocessor

class Preprocessor {
 public:
  explicit Preprocessor(const Options& options) : includeDirs_(options.includeDirs) {
    for (const auto& [name, value] : options.defines) defines_[name] = value.empty() ? "1" : value;
  }

  std::vector<Token> run(const fs::path& script) {
    std::vector<Token> out;
    processFile(script, false, out, 0);
    return out;
  }

 private:
  struct Cond {
    bool active;       // lines here are used
    bool taken;        // some branch of this #if was taken
    bool parentActive;
  };

  bool active() const { return conds_.empty() || conds_.back().active; }

  void processFile(const fs::path& file, bool directivesOnly, std::vector<Token>& out, int depth) {
    if (depth > 32) throw CompileError(file.string() + ": includes nested too deeply");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CompileError(file.string() + ": cannot read");
    std::string line, logical;
    int lineNo = 0, logicalStart = 0;
    bool inComment = false;
    const std::size_t condDepth = conds_.size();
    while (std::getline(in, line)) {
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (logical.empty()) logicalStart = lineNo;
      if (!line.empty() && line.back() == '\\') {
        logical += line.substr(0, line.size() - 1);
        continue;
      }
      logical += line;
      std::string text = stripComments(logical, inComment);
      logical.clear();
      const std::string where = file.string() + ":" + std::to_string(logicalStart);
      std::size_t first = text.find_first_not_of(" \t");
      if (first != std::string::npos && text[first] == '#') {
        directive(text.substr(first + 1), where, file, out, depth);
        continue;
      }
      if (directivesOnly || !active() || first == std::string::npos) continue;
      std::vector<Token> raw;
      Lexer::split(text, where, raw);
      for (Token& t : raw) expand(t, out, 0);
    }
    if (conds_.size() != condDepth) throw CompileError(file.string() + ": #if without #endif");
  }

  // Removes // and /* */ comments outside strings; block comments may span lines.
  static std::string stripComments(const std::string& line, bool& inComment) {
    std::string out;
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (inComment) {
        if (line.compare(i, 2, "*/") == 0) {
          inComment = false;
          ++i;
          out += ' ';
        }
        continue;
      }
      if (inString) {
        out += line[i];
        if (line[i] == '\\' && i + 1 < line.size()) out += line[++i];
        else if (line[i] == '"') inString = false;
        continue;
      }
      if (line[i] == '"') inString = true;
      if (line.compare(i, 2, "//") == 0) break;
      if (line.compare(i, 2, "/*") == 0) {
        inComment = true;
        ++i;
        continue;
      }
      out += line[i];
    }
    return out;
  }

  void expand(Token& t, std::vector<Token>& out, int depth) {
    if (t.kind == Tok::Ident) {
      auto it = defines_.find(t.text);
      if (it != defines_.end()) {
        if (depth > 32) throw CompileError(t.where + ": macro " + t.text + " expands into itself");
        std::vector<Token> body;
        Lexer::split(it->second, t.where, body);
        for (Token& b : body) expand(b, out, depth + 1);
        return;
      }
    }
    out.push_back(std::move(t));
  }

  fs::path findInclude(const std::string& name, const fs::path& from, bool angled) {
    std::vector<fs::path> dirs;
    if (!angled) dirs.push_back(from.parent_path());
    dirs.insert(dirs.end(), includeDirs_.begin(), includeDirs_.end());
    for (const fs::path& d : dirs) {
      std::error_code ec;
      if (fs::is_regular_file(d / name, ec)) return d / name;
    }
    return {};
  }

  std::uint32_t evaluate(const std::string& text, const std::string& where) {
    std::vector<Token> raw, tokens;
    Lexer::split(text, where, raw);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i].kind == Tok::Ident && raw[i].text == "defined") {
        bool paren = i + 1 < raw.size() && raw[i + 1].kind == Tok::Punct && raw[i + 1].text == "(";
        std::size_t at = i + (paren ? 2 : 1);
        if (at >= raw.size() || raw[at].kind != Tok::Ident) throw CompileError(where + ": defined needs a name");
        Token v;
        v.kind = Tok::Number;
        v.value = defines_.count(raw[at].text) ? 1 : 0;
        v.where = where;
        tokens.push_back(v);
        i = at + (paren ? 1 : 0);
        continue;
      }
      expand(raw[i], tokens, 0);
    }
    std::size_t pos = 0;
    Expr e(tokens, pos, [](const std::string&, std::uint32_t& v) {
      v = 0;  // unknown names are 0 in #if, as in C
      return true;
    });
    std::uint32_t v = e.parse();
    if (pos != tokens.size()) throw CompileError(where + ": bad #if expression");
    return v;
  }

  void directive(const std::string& text, const std::string& where, const fs::path& file, std::vector<Token>& out,
                 int depth) {
    std::size_t p = text.find_first_not_of(" \t");
    if (p == std::string::npos) return;
    std::size_t e = text.find_first_of(" \t(\"<", p);
    std::string name = text.substr(p, e == std::string::npos ? std::string::npos : e - p);
    std::string rest = e == std::string::npos ? "" : text.substr(e);
    auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(" \t"));
      s.erase(s.find_last_not_of(" \t") + 1);
      return s;
    };
    rest = trim(rest);
    if (name == "ifdef" || name == "ifndef") {
      bool is = defines_.count(trim(rest)) > 0;
      bool cond = name == "ifdef" ? is : !is;
      conds_.push_back({active() && cond, cond, active()});
    } else if (name == "if") {
      bool cond = active() ? evaluate(rest, where) != 0 : false;
      conds_.push_back({active() && cond, cond, active()});
    } else if (name == "elif") {
      if (conds_.empty()) throw CompileError(where + ": #elif without #if");
      Cond& c = conds_.back();
      bool cond = c.parentActive && !c.taken && evaluate(rest, where) != 0;
      c.active = cond;
      c.taken = c.taken || cond;
    } else if (name == "else") {
      if (conds_.empty()) throw CompileError(where + ": #else without #if");
      Cond& c = conds_.back();
      c.active = c.parentActive && !c.taken;
      c.taken = true;
    } else if (name == "endif") {
      if (conds_.empty()) throw CompileError(where + ": #endif without #if");
      conds_.pop_back();
    } else if (!active()) {
      return;
    } else if (name == "define") {
      std::size_t n = rest.find_first_of(" \t(");
      std::string macro = rest.substr(0, n);
      if (macro.empty()) throw CompileError(where + ": #define needs a name");
      if (n != std::string::npos && rest[n] == '(') return;  // function-like macros are not used by scripts
      defines_[macro] = n == std::string::npos ? "" : trim(rest.substr(n));
    } else if (name == "undef") {
      defines_.erase(trim(rest));
    } else if (name == "include") {
      bool angled = !rest.empty() && rest[0] == '<';
      char close = angled ? '>' : '"';
      std::size_t end = rest.find(close, 1);
      if (rest.empty() || (rest[0] != '"' && rest[0] != '<') || end == std::string::npos)
        throw CompileError(where + ": #include needs \"file\" or <file>");
      std::string inc = rest.substr(1, end - 1);
      fs::path found = findInclude(inc, file, angled);
      if (found.empty()) {
        if (angled) return;  // system headers (<windows.h>): the constants are built in
        throw CompileError(where + ": cannot find " + inc);
      }
      std::string ext = upper(found.extension().string());
      bool script = ext == ".RC" || ext == ".RC2" || ext == ".DLG";
      processFile(found, !script, out, depth + 1);
    } else if (name == "error") {
      throw CompileError(where + ": #error " + rest);
    } else if (name == "pragma" || name == "line") {
      return;
    } else {
      throw CompileError(where + ": unknown directive #" + name);
    }
  }

  std::vector<fs::path> includeDirs_;
  std::map<std::string, std::string> defines_;
  std::vector<Cond> conds_;
};

// ---------------------------------------------------------------- parser

struct Control {
  bool textIsOrdinal = false;
  std::uint16_t textOrdinal = 0;
  std::u16string text;
  std::uint32_t id = 0;
  bool classIsOrdinal = true;
  std::uint16_t classOrdinal = 0;
  std::u16string className;
  std::uint32_t style = 0, exStyle = 0, helpId = 0;
  std::int32_t x = 0, y = 0, cx = 0, cy = 0;
};

struct MenuItem {
  std::u16string text;
  std::uint32_t id = 0;
  std::uint16_t flags = 0;
  bool popup = false;
  std::vector<MenuItem> children;
};

constexpr std::uint32_t WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_POPUP = 0x80000000,
                        WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000, WS_CAPTION = 0x00C00000,
                        DS_SETFONT = 0x40, DS_SHELLFONT = 0x48, WS_GROUP = 0x20000, WS_TABSTOP = 0x10000;

struct ControlKind {
  std::uint16_t classOrdinal;
  std::uint32_t style;
  bool hasText;
};

const std::map<std::string, ControlKind>& controlKinds() {
  static const std::map<std::string, ControlKind> kinds = {
      {"LTEXT", {0x82, 0x0 | WS_GROUP, true}},        {"RTEXT", {0x82, 0x2 | WS_GROUP, true}},
      {"CTEXT", {0x82, 0x1 | WS_GROUP, true}},        {"PUSHBUTTON", {0x80, 0x0 | WS_TABSTOP, true}},
      {"DEFPUSHBUTTON", {0x80, 0x1 | WS_TABSTOP, true}}, {"CHECKBOX", {0x80, 0x2 | WS_TABSTOP, true}},
      {"AUTOCHECKBOX", {0x80, 0x3 | WS_TABSTOP, true}}, {"RADIOBUTTON", {0x80, 0x4, true}},
      {"AUTORADIOBUTTON", {0x80, 0x9, true}},          {"STATE3", {0x80, 0x5 | WS_TABSTOP, true}},
      {"AUTO3STATE", {0x80, 0x6 | WS_TABSTOP, true}},  {"GROUPBOX", {0x80, 0x7, true}},
      {"PUSHBOX", {0x80, 0xA | WS_TABSTOP, true}},     {"EDITTEXT", {0x81, 0x0 | WS_BORDER | WS_TABSTOP, false}},
      {"COMBOBOX", {0x85, 0x1 | WS_TABSTOP, false}},   {"LISTBOX", {0x83, 0x1 | WS_BORDER, false}},
      {"SCROLLBAR", {0x84, 0x0, false}},               {"ICON", {0x82, 0x3, true}},
  };
  return kinds;
}

// Class names that are stored as ordinals, as Windows' own compiler does.
std::optional<std::uint16_t> classOrdinal(const std::string& name) {
  static const std::map<std::string, std::uint16_t> ordinals = {
      {"BUTTON", 0x80}, {"EDIT", 0x81}, {"STATIC", 0x82}, {"LISTBOX", 0x83}, {"SCROLLBAR", 0x84}, {"COMBOBOX", 0x85}};
  auto it = ordinals.find(upper(name));
  if (it == ordinals.end()) return std::nullopt;
  return it->second;
}

// An ActiveX control's class in a template: a class id in its registry form, kept as the text.
bool isClassId(const std::u16string& s) {
  static constexpr std::size_t kDashes[] = {9, 14, 19, 24};
  if (s.size() != 38 || s.front() != u'{' || s.back() != u'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = std::find(std::begin(kDashes), std::end(kDashes), i) != std::end(kDashes);
    const char16_t c = s[i];
    const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (dash ? c != u'-' : !hex) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, fs::path script, std::vector<fs::path> includeDirs)
      : t_(std::move(tokens)), script_(std::move(script)), includeDirs_(std::move(includeDirs)) {}

  std::vector<Resource> run() {
    while (pos_ < t_.size()) statement();
    writeStringTables();
    std::set<std::tuple<std::uint16_t, std::u16string, std::uint16_t, std::u16string, std::uint16_t>> seen;
    for (const Resource& r : out_) {
      if (!seen.insert({r.type.number, r.type.text, r.name.number, r.name.text, r.language}).second)
        throw CompileError(script_.string() + ": two resources share type, name and language (" +
                           (r.name.isText() ? std::string(r.name.text.begin(), r.name.text.end())
                                            : std::to_string(r.name.number)) +
                           ")");
    }
    return out_;
  }

 private:
  // ---- token access
  const Token& peek(std::size_t ahead = 0) const {
    static const Token end;
    return pos_ + ahead < t_.size() ? t_[pos_ + ahead] : end;
  }
  std::string where() const {
    if (pos_ < t_.size()) return t_[pos_].where;
    return t_.empty() ? script_.string() : t_.back().where;
  }
  [[noreturn]] void fail(const std::string& message) const { throw CompileError(where() + ": " + message); }
  bool isWord(const char* w, std::size_t ahead = 0) const {
    return peek(ahead).kind == Tok::Ident && upper(peek(ahead).text) == w;
  }
  bool isPunct(const char* p) const { return peek().kind == Tok::Punct && peek().text == p; }
  bool acceptPunct(const char* p) {
    if (!isPunct(p)) return false;
    ++pos_;
    return true;
  }
  void expectComma() {
    if (!acceptPunct(",")) fail("',' expected");
  }
  bool isBegin() const { return isWord("BEGIN") || isPunct("{"); }
  bool isEnd() const { return isWord("END") || isPunct("}"); }
  void expectBegin() {
    if (!isBegin()) fail("BEGIN expected");
    ++pos_;
  }
  bool acceptEnd() {
    if (!isEnd()) return false;
    ++pos_;
    return true;
  }

  std::uint32_t number() {
    Expr e(t_, pos_, [](const std::string& name, std::uint32_t& v) {
      auto it = builtinConstants().find(name);
      if (it == builtinConstants().end()) return false;
      v = it->second;
      return true;
    });
    return e.parse();
  }

  // Style list: values joined by '|', where "NOT x" clears x from the defaults.
  std::uint32_t style(std::uint32_t defaults) {
    std::uint32_t set = 0, clear = 0;
    auto lookup = [](const std::string& name, std::uint32_t& v) {
      auto it = builtinConstants().find(name);
      if (it == builtinConstants().end()) return false;
      v = it->second;
      return true;
    };
    for (;;) {
      Expr e(t_, pos_, lookup);
      if (isWord("NOT")) {
        ++pos_;
        std::uint32_t v = e.unaryOnly();
        clear |= v;
        set &= ~v;
      } else {
        set |= e.belowOr();
      }
      if (!acceptPunct("|")) break;
    }
    return (defaults & ~clear) | set;
  }

  std::u16string string() {
    if (peek().kind != Tok::String) fail("text in quotes expected");
    return t_[pos_++].str;
  }

  // A resource name or type: a number, a quoted text or a bare word (both upper-cased).
  Id nameOrNumber() {
    const Token& t = peek();
    if (t.kind == Tok::String) {
      ++pos_;
      if (t.str.empty()) fail("empty name");
      return Id::of(upper16(t.str));
    }
    if (t.kind == Tok::Ident && !builtinConstants().count(t.text)) {
      ++pos_;
      return Id::of(upper16(std::u16string(t.text.begin(), t.text.end())));
    }
    std::uint32_t v = number();
    if (v == 0 || v > 0xFFFF) fail("resource number must be 1..65535");
    return Id::of(static_cast<std::uint16_t>(v));
  }

  void skipMemoryOptions() {
    static const std::set<std::string> options = {"PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE",
                                                  "PURE", "IMPURE", "SHARED", "NONSHARED"};
    while (peek().kind == Tok::Ident && options.count(upper(peek().text))) ++pos_;
  }

  std::uint16_t languageStatement() {
    ++pos_;  // LANGUAGE
    std::uint32_t primary = number();
    expectComma();
    std::uint32_t sub = number();
    if (primary > 0x3FF || sub > 0x3F) fail("language out of range");
    return static_cast<std::uint16_t>(sub << 10 | primary);
  }

  // LANGUAGE, CHARACTERISTICS and VERSION between a resource's header and its BEGIN.
  bool commonOption(std::uint16_t& language) {
    if (isWord("LANGUAGE")) {
      language = languageStatement();
      return true;
    }
    if (isWord("CHARACTERISTICS") || isWord("VERSION")) {
      ++pos_;
      number();
      return true;
    }
    return false;
  }

  fs::path findFile(const std::u16string& name16) {
    std::string utf8;
    for (char16_t c : name16) {  // file names in scripts are ASCII in practice; keep others as UTF-8
      if (c < 0x80) {
        utf8 += static_cast<char>(c);
      } else if (c < 0x800) {
        utf8 += static_cast<char>(0xC0 | (c >> 6));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        utf8 += static_cast<char>(0xE0 | (c >> 12));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    std::vector<fs::path> dirs{script_.parent_path()};
    dirs.insert(dirs.end(), includeDirs_.begin(), includeDirs_.end());
    for (const fs::path& d : dirs) {
      std::error_code ec;
      fs::path p = fs::path(utf8).is_absolute() ? fs::path(utf8) : d / utf8;
      if (fs::is_regular_file(p, ec)) return p;
    }
    fail("cannot find file " + utf8);
  }

  void add(Id type, Id name, std::uint16_t language, std::vector<std::uint8_t> data) {
    out_.push_back(Resource{std::move(type), std::move(name), language, std::move(data)});
  }

  // ---- statements
  void statement() {
    if (isWord("LANGUAGE")) {
      language_ = languageStatement();
      return;
    }
    if (isWord("STRINGTABLE")) {
      stringTable();
      return;
    }
    Id name = nameOrNumber();
    const Token& typeToken = peek();
    std::string type = typeToken.kind == Tok::Ident ? upper(typeToken.text) : "";
    if (type == "DIALOG" || type == "DIALOGEX") {
      ++pos_;
      dialog(name, type == "DIALOGEX");
    } else if (type == "MENU") {
      ++pos_;
      menu(name);
    } else if (type == "ICON") {
      ++pos_;
      icon(name);
    } else if (type == "VERSIONINFO") {
      ++pos_;
      versionInfo(name);
    } else if (type == "MENUEX" || type == "ACCELERATORS" || type == "CURSOR" || type == "TOOLBAR" ||
               type == "FONT" || type == "MESSAGETABLE") {
      fail(type + " resources are not supported");
    } else if (type == "DLGINIT") {
      ++pos_;
      dialogInit(name);
    } else {
      Id typeId;
      if (type == "BITMAP") typeId = Id::of(platform::rsrc::kTypeBitmap), ++pos_;
      else if (type == "HTML") typeId = Id::of(platform::rsrc::kTypeHtml), ++pos_;
      else if (type == "RCDATA") typeId = Id::of(platform::rsrc::kTypeRcData), ++pos_;
      else if (type == "MANIFEST") typeId = Id::of(platform::rsrc::kTypeManifest), ++pos_;
      else typeId = nameOrNumber();
      binary(name, typeId, type == "BITMAP");
    }
  }

  void binary(const Id& name, const Id& type, bool bitmap) {
    skipMemoryOptions();
    std::uint16_t language = language_;
    while (commonOption(language)) {
    }
    std::vector<std::uint8_t> data;
    if (peek().kind == Tok::String) {
      fs::path file = findFile(string());
      data = readBinary(file, where());
      if (bitmap) {
        if (data.size() < 14 || data[0] != 'B' || data[1] != 'M') fail(file.string() + " is not a bitmap file");
        data.erase(data.begin(), data.begin() + 14);  // the resource is the DIB without the file header
      }
    } else {
      data = dataBlock();
    }
    add(type, name, language, std::move(data));
  }

  // A BEGIN ... END block of numbers (WORDs, DWORDs with an L suffix) and strings (their bytes;
  // L"..." as UTF-16), packed with no padding.
  std::vector<std::uint8_t> dataBlock() {
    std::vector<std::uint8_t> data;
    {
      expectBegin();
      while (!acceptEnd()) {
        if (peek().kind == Tok::String) {
          const Token& s = t_[pos_++];
          if (s.wide) {
            for (char16_t c : s.str) put16(data, c);
          } else {
            for (char16_t c : s.str) data.push_back(static_cast<std::uint8_t>(c < 0x100 ? c : '?'));
          }
        } else {
          bool isLong = peek().kind == Tok::Number && peek().isLong;
          std::uint32_t v = number();
          isLong ? put32(data, v) : put16(data, v);
        }
        acceptPunct(",");
        if (pos_ >= t_.size()) fail("END expected");
      }
    }
    return data;
  }

  // The initial data of a dialog's controls, written as the data block it is: records of WORD
  // control id, WORD message, DWORD byte count (two WORDs, low first) and that many bytes, ended
  // by a WORD 0. The records are walked so that a count that does not fit fails here, not in the
  // program that reads them.
  void dialogInit(const Id& name) {
    skipMemoryOptions();
    std::uint16_t language = language_;
    while (commonOption(language)) {
    }
    std::vector<std::uint8_t> data = dataBlock();
    auto word = [&data](std::size_t at) { return static_cast<std::uint32_t>(data[at] | data[at + 1] << 8); };
    std::size_t at = 0;
    for (;;) {
      if (data.size() - at < 2) fail("DLGINIT must end with a 0 control id");
      if (word(at) == 0) {
        if (at + 2 != data.size()) fail("DLGINIT has data after its ending 0");
        break;
      }
      if (data.size() - at < 8) fail("DLGINIT record header is cut short");
      const std::uint32_t count = word(at + 4) | word(at + 6) << 16;
      at += 8;
      if (count > data.size() - at) fail("DLGINIT record of " + std::to_string(count) + " bytes is longer than its data");
      at += count;
    }
    add(Id::of(platform::rsrc::kTypeDlgInit), name, language, std::move(data));
  }

  void stringTable() {
    ++pos_;
    skipMemoryOptions();
    std::uint16_t language = language_;
    while (commonOption(language)) {
    }
    expectBegin();
    while (!acceptEnd()) {
      if (pos_ >= t_.size()) fail("END expected");
      std::uint32_t id = number();
      if (id > 0xFFFF) fail("string id must be 0..65535");
      acceptPunct(",");
      std::u16string text = string();
      if (text.size() > 0xFFFF) fail("string too long");
      if (!strings_[language].emplace(static_cast<std::uint16_t>(id), text).second)
        fail("string " + std::to_string(id) + " is defined twice");
    }
  }

  void writeStringTables() {
    for (const auto& [language, table] : strings_) {
      std::map<std::uint16_t, std::vector<std::u16string>> blocks;
      for (const auto& [id, text] : table) {
        auto& block = blocks[static_cast<std::uint16_t>(id / 16 + 1)];
        block.resize(16);
        block[id % 16] = text;
      }
      for (const auto& [blockId, texts] : blocks) {
        std::vector<std::uint8_t> data;
        for (const std::u16string& s : texts) {
          put16(data, static_cast<std::uint32_t>(s.size()));
          for (char16_t c : s) put16(data, c);
        }
        add(Id::of(platform::rsrc::kTypeString), Id::of(blockId), language, std::move(data));
      }
    }
  }

  std::int32_t coordinate() { return static_cast<std::int32_t>(number()); }

  void dialog(const Id& name, bool extended) {
    skipMemoryOptions();
    std::int32_t x = coordinate();
    expectComma();
    std::int32_t y = coordinate();
    expectComma();
    std::int32_t cx = coordinate();
    expectComma();
    std::int32_t cy = coordinate();
    std::uint32_t helpId = 0;
    if (extended && acceptPunct(",")) helpId = number();
    std::uint16_t language = language_;
    std::optional<std::uint32_t> givenStyle;
    std::uint32_t exStyle = 0;
    bool hasCaption = false, hasFont = false;
    std::u16string caption, fontFace;
    std::uint32_t fontSize = 0, fontWeight = 0, fontItalic = 0, fontCharset = 1;
    Id menuName, className;
    while (!isBegin()) {
      if (pos_ >= t_.size()) fail("BEGIN expected");
      if (commonOption(language)) continue;
      if (isWord("STYLE")) {
        ++pos_;
        givenStyle = style(0);
      } else if (isWord("EXSTYLE")) {
        ++pos_;
        exStyle = style(0);
      } else if (isWord("CAPTION")) {
        ++pos_;
        caption = string();
        hasCaption = true;
      } else if (isWord("FONT")) {
        ++pos_;
        fontSize = number();
        expectComma();
        fontFace = string();
        hasFont = true;
        if (extended && acceptPunct(",")) {
          fontWeight = number();
          if (acceptPunct(",")) {
            fontItalic = number();
            if (acceptPunct(",")) fontCharset = number();
          }
        }
      } else if (isWord("MENU")) {
        ++pos_;
        menuName = nameOrNumber();
      } else if (isWord("CLASS")) {
        ++pos_;
        className = peek().kind == Tok::String ? Id::of(string()) : nameOrNumber();
      } else {
        fail("dialog statement expected (STYLE, EXSTYLE, CAPTION, FONT, MENU, CLASS) or BEGIN");
      }
    }
    ++pos_;
    std::vector<Control> controls;
    while (!acceptEnd()) {
      if (pos_ >= t_.size()) fail("END expected");
      controls.push_back(control(extended));
    }
    std::uint32_t dlgStyle = givenStyle ? *givenStyle : (WS_POPUP | WS_BORDER | WS_SYSMENU);
    if (hasCaption) dlgStyle |= WS_CAPTION;
    if (hasFont) dlgStyle |= DS_SETFONT;
    if (controls.size() > 0xFFFF) fail("too many controls");

    std::vector<std::uint8_t> d;
    auto szOrOrd = [&d](const Id& id) {
      if (id.isText())
        putText(d, id.text);
      else if (id.number)
        put16(d, 0xFFFF), put16(d, id.number);
      else
        put16(d, 0);
    };
    if (extended) {
      put16(d, 1);
      put16(d, 0xFFFF);
      put32(d, helpId);
      put32(d, exStyle);
      put32(d, dlgStyle);
    } else {
      put32(d, dlgStyle);
      put32(d, exStyle);
    }
    put16(d, static_cast<std::uint32_t>(controls.size()));
    for (std::int32_t v : {x, y, cx, cy}) put16(d, static_cast<std::uint32_t>(v));
    szOrOrd(menuName);
    szOrOrd(className);
    putText(d, caption);
    if (dlgStyle & (DS_SETFONT | DS_SHELLFONT)) {
      put16(d, fontSize);
      if (extended) {
        put16(d, fontWeight);
        d.push_back(static_cast<std::uint8_t>(fontItalic));
        d.push_back(static_cast<std::uint8_t>(fontCharset));
      }
      putText(d, fontFace);
    }
    for (const Control& c : controls) {
      align4(d);
      if (extended) {
        put32(d, c.helpId);
        put32(d, c.exStyle);
        put32(d, c.style);
      } else {
        put32(d, c.style);
        put32(d, c.exStyle);
      }
      for (std::int32_t v : {c.x, c.y, c.cx, c.cy}) put16(d, static_cast<std::uint32_t>(v));
      extended ? put32(d, c.id) : put16(d, c.id & 0xFFFF);
      if (c.classIsOrdinal)
        put16(d, 0xFFFF), put16(d, c.classOrdinal);
      else
        putText(d, c.className);
      if (c.textIsOrdinal)
        put16(d, 0xFFFF), put16(d, c.textOrdinal);
      else
        putText(d, c.text);
      put16(d, 0);  // no creation data
    }
    add(Id::of(platform::rsrc::kTypeDialog), name, language, std::move(d));
  }

  void controlText(Control& c) {
    if (peek().kind == Tok::String) {
      c.text = string();
    } else {
      std::uint32_t v = number();
      c.textIsOrdinal = true;
      c.textOrdinal = static_cast<std::uint16_t>(v);
    }
  }

  void rect(Control& c) {
    c.x = coordinate();
    expectComma();
    c.y = coordinate();
    expectComma();
    c.cx = coordinate();
    expectComma();
    c.cy = coordinate();
  }

  Control control(bool extended) {
    if (peek().kind != Tok::Ident) fail("control statement expected");
    std::string kind = upper(t_[pos_++].text);
    Control c;
    if (kind == "CONTROL") {
      controlText(c);
      expectComma();
      c.id = number();
      expectComma();
      if (peek().kind == Tok::String) {
        std::u16string cls = string();
        std::optional<std::uint16_t> ord = classOrdinal(std::string(cls.begin(), cls.end()));
        if (ord) c.classOrdinal = *ord;
        else c.classIsOrdinal = false, c.className = cls;
        if (!cls.empty() && cls[0] == u'{' && !isClassId(cls)) fail("control class id is not {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}");
      } else if (peek().kind == Tok::Ident && classOrdinal(peek().text)) {
        c.classOrdinal = *classOrdinal(t_[pos_++].text);
      } else {
        fail("control class expected");
      }
      expectComma();
      c.style = style(WS_CHILD | WS_VISIBLE);
      expectComma();
      rect(c);
      if (acceptPunct(",")) {
        c.exStyle = style(0);
        if (extended && acceptPunct(",")) c.helpId = number();
      }
      return c;
    }
    auto it = controlKinds().find(kind);
    if (it == controlKinds().end()) fail("unknown control " + kind);
    const ControlKind& k = it->second;
    c.classOrdinal = k.classOrdinal;
    std::uint32_t defaults = k.style | WS_CHILD | WS_VISIBLE;
    c.style = defaults;
    if (k.hasText) {
      controlText(c);
      expectComma();
    }
    c.id = number();
    expectComma();
    if (kind == "ICON") {
      c.x = coordinate();
      expectComma();
      c.y = coordinate();
      if (acceptPunct(",")) {
        c.cx = coordinate();
        expectComma();
        c.cy = coordinate();
      }
    } else {
      rect(c);
    }
    if (acceptPunct(",")) {
      c.style = style(defaults);
      if (acceptPunct(",")) {
        c.exStyle = style(0);
        if (extended && acceptPunct(",")) c.helpId = number();
      }
    }
    return c;
  }

  void menu(const Id& name) {
    skipMemoryOptions();
    std::uint16_t language = language_;
    while (commonOption(language)) {
    }
    std::vector<MenuItem> items = menuItems();
    if (items.empty()) fail("a menu needs items");
    std::vector<std::uint8_t> d;
    put16(d, 0);  // version
    put16(d, 0);  // header size
    writeMenu(d, items);
    add(Id::of(platform::rsrc::kTypeMenu), name, language, std::move(d));
  }

  std::vector<MenuItem> menuItems() {
    expectBegin();
    std::vector<MenuItem> items;
    while (!acceptEnd()) {
      if (pos_ >= t_.size()) fail("END expected");
      MenuItem item;
      if (isWord("POPUP")) {
        ++pos_;
        item.popup = true;
        item.text = string();
        item.flags = menuOptions();
        item.children = menuItems();
        if (item.children.empty()) fail("an empty POPUP");
      } else if (isWord("MENUITEM")) {
        ++pos_;
        if (isWord("SEPARATOR")) {
          ++pos_;
        } else {
          item.text = string();
          expectComma();
          item.id = number();
          if (item.id > 0xFFFF) fail("menu id must be 0..65535");
          item.flags = menuOptions();
        }
      } else {
        fail("POPUP or MENUITEM expected");
      }
      items.push_back(std::move(item));
    }
    return items;
  }

  std::uint16_t menuOptions() {
    static const std::map<std::string, std::uint16_t> options = {{"GRAYED", 0x1}, {"INACTIVE", 0x2}, {"BITMAP", 0x4},
                                                                 {"CHECKED", 0x8}, {"MENUBARBREAK", 0x20},
                                                                 {"MENUBREAK", 0x40}, {"HELP", 0x4000}};
    std::uint16_t flags = 0;
    for (;;) {
      std::size_t save = pos_;
      bool comma = acceptPunct(",");
      if (peek().kind == Tok::Ident && options.count(upper(peek().text))) {
        flags |= options.at(upper(t_[pos_++].text));
        continue;
      }
      pos_ = comma ? save : pos_;
      return flags;
    }
  }

  void writeMenu(std::vector<std::uint8_t>& d, const std::vector<MenuItem>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      const MenuItem& item = items[i];
      std::uint16_t flags = item.flags;
      if (i + 1 == items.size()) flags |= 0x80;  // MF_END
      if (item.popup) {
        put16(d, flags | 0x10);  // MF_POPUP
        putText(d, item.text);
        writeMenu(d, item.children);
      } else {
        put16(d, flags);
        put16(d, item.id);
        putText(d, item.text);
      }
    }
  }

  void icon(const Id& name) {
    skipMemoryOptions();
    std::uint16_t language = language_;
    while (commonOption(language)) {
    }
    fs::path file = findFile(string());
    std::vector<std::uint8_t> ico = readBinary(file, where());
    auto get16 = [&ico](std::size_t at) { return static_cast<std::uint32_t>(ico[at] | (ico[at + 1] << 8)); };
    auto get32 = [&](std::size_t at) { return get16(at) | (get16(at + 2) << 16); };
    if (ico.size() < 6 || get16(0) != 0 || get16(2) != 1 || get16(4) == 0) fail(file.string() + " is not an icon file");
    const std::uint32_t count = get16(4);
    if (ico.size() < 6 + 16ull * count) fail(file.string() + " is cut short");
    std::vector<std::uint8_t> group;
    put16(group, 0);
    put16(group, 1);
    put16(group, count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t e = 6 + 16 * i;
      const std::uint32_t size = get32(e + 8), offset = get32(e + 12);
      if (offset > ico.size() || ico.size() - offset < size) fail(file.string() + ": image " + std::to_string(i) + " lies outside the file");
      const std::uint16_t imageId = nextIconId_++;
      group.insert(group.end(), ico.begin() + static_cast<std::ptrdiff_t>(e), ico.begin() + static_cast<std::ptrdiff_t>(e + 12));
      put16(group, imageId);
      add(Id::of(platform::rsrc::kTypeIcon), Id::of(imageId), language,
          std::vector<std::uint8_t>(ico.begin() + offset, ico.begin() + offset + size));
    }
    add(Id::of(platform::rsrc::kTypeGroupIcon), name, language, std::move(group));
  }

  void versionParts(std::uint32_t& ms, std::uint32_t& ls) {
    std::uint32_t parts[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
      parts[i] = number() & 0xFFFF;
      if (!acceptPunct(",")) break;
    }
    ms = parts[0] << 16 | parts[1];
    ls = parts[2] << 16 | parts[3];
  }

  void versionInfo(const Id& name) {
    platform::rsrc::FixedInfo fixed;
    fixed.fileFlagsMask = 0;
    fixed.fileOS = 0;
    fixed.fileType = 0;
    std::uint16_t language = language_;
    while (!isBegin()) {
      if (pos_ >= t_.size()) fail("BEGIN expected");
      if (commonOption(language)) continue;
      std::string word = peek().kind == Tok::Ident ? upper(peek().text) : "";
      ++pos_;
      if (word == "FILEVERSION") versionParts(fixed.fileVersionMS, fixed.fileVersionLS);
      else if (word == "PRODUCTVERSION") versionParts(fixed.productVersionMS, fixed.productVersionLS);
      else if (word == "FILEFLAGSMASK") fixed.fileFlagsMask = number();
      else if (word == "FILEFLAGS") fixed.fileFlags = number();
      else if (word == "FILEOS") fixed.fileOS = number();
      else if (word == "FILETYPE") fixed.fileType = number();
      else if (word == "FILESUBTYPE") fixed.fileSubtype = number();
      else --pos_, fail("version statement expected (FILEVERSION, PRODUCTVERSION, ...) or BEGIN");
    }
    std::vector<platform::rsrc::VersionNode> children = versionBlockBody();
    add(Id::of(platform::rsrc::kTypeVersion), name, language, platform::rsrc::writeVersionInfo(fixed, children));
  }

  std::vector<platform::rsrc::VersionNode> versionBlockBody() {
    using platform::rsrc::VersionNode;
    expectBegin();
    std::vector<VersionNode> nodes;
    while (!acceptEnd()) {
      if (pos_ >= t_.size()) fail("END expected");
      VersionNode node;
      if (isWord("BLOCK")) {
        ++pos_;
        node.key = string();
        node.kind = VersionNode::Block;
        node.children = versionBlockBody();
      } else if (isWord("VALUE")) {
        ++pos_;
        node.key = string();
        node.kind = VersionNode::Text;
        bool first = true;
        while (acceptPunct(",")) {
          if (peek().kind == Tok::String) {
            if (!first && node.kind == VersionNode::Binary) fail("a value mixes text and numbers");
            node.textValue += string();
          } else {
            if (!first && node.kind == VersionNode::Text) fail("a value mixes text and numbers");
            node.kind = VersionNode::Binary;
            bool isLong = peek().kind == Tok::Number && peek().isLong;
            std::uint32_t v = number();
            isLong ? put32(node.binValue, v) : put16(node.binValue, v);
          }
          first = false;
        }
      } else {
        fail("BLOCK or VALUE expected");
      }
      nodes.push_back(std::move(node));
    }
    return nodes;
  }

  std::vector<Token> t_;
  std::size_t pos_ = 0;
  fs::path script_;
  std::vector<fs::path> includeDirs_;
  std::uint16_t language_ = 0x0409;
  std::uint16_t nextIconId_ = 1;
  std::map<std::uint16_t, std::map<std::uint16_t, std::u16string>> strings_;
  std::vector<Resource> out_;
};

}  // namespace

std::vector<Resource> compile(const fs::path& script, const Options& options) {
  Preprocessor pre(options);
  std::vector<Token> tokens = pre.run(script);
  Parser parser(std::move(tokens), script, options.includeDirs);
  return parser.run();
}

}  // namespace kiporc
