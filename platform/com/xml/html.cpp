// The browser control's reading of a page: libxml2's HTML parser in recovery mode, with the
// network off, turned into the page's title, text and links. Nothing in the page runs.
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <string>

#include "platform/com/xml/server.h"
#include "platform/com/xml/tree.h"

namespace platform::com::xml {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Runs of blanks become one space; leading and trailing blanks go.
std::string collapse(const std::string& s) {
  std::string out;
  bool pendingSpace = false;
  for (char c : s) {
    if (isBlank(c)) {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace) out += ' ';
    pendingSpace = false;
    out += c;
  }
  return out;
}

bool named(xmlNodePtr n, const char* name) {
  return n->type == XML_ELEMENT_NODE && xmlStrcasecmp(n->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

bool isBlock(xmlNodePtr n) {
  for (const char* b : {"p", "div", "br", "tr", "li", "h1", "h2", "h3", "h4", "table", "center", "title"})
    if (named(n, b)) return true;
  return false;
}

void textOf(xmlNodePtr n, std::string& out) {
  for (xmlNodePtr c = n->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      if (c->content) out += reinterpret_cast<const char*>(c->content);
    } else if (c->type == XML_ELEMENT_NODE && !named(c, "script") && !named(c, "style")) {
      textOf(c, out);
    }
  }
}

void walk(xmlNodePtr n, HtmlPage& page, std::string& line) {
  for (xmlNodePtr c = n->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE) {
      if (c->content) line += reinterpret_cast<const char*>(c->content);
      continue;
    }
    if (c->type != XML_ELEMENT_NODE) continue;
    if (named(c, "script") || named(c, "style") || named(c, "head")) {
      if (named(c, "head"))
        for (xmlNodePtr h = c->children; h; h = h->next)
          if (named(h, "title")) {
            std::string t;
            textOf(h, t);
            page.title = collapse(t);
          }
      continue;
    }
    if (named(c, "title")) {
      std::string t;
      textOf(c, t);
      page.title = collapse(t);
      continue;
    }
    if (named(c, "a")) {
      if (xmlChar* href = xmlGetProp(c, reinterpret_cast<const xmlChar*>("href"))) {
        std::string t;
        textOf(c, t);
        page.links.push_back({reinterpret_cast<const char*>(href), collapse(t)});
        xmlFree(href);
      }
    }
    const bool block = isBlock(c);
    if (block) {
      std::string l = collapse(line);
      if (!l.empty()) page.text += l + "\n";
      line.clear();
    }
    walk(c, page, line);
    if (block) {
      std::string l = collapse(line);
      if (!l.empty()) page.text += l + "\n";
      line.clear();
    }
  }
}

}  // namespace

void parseHtml(std::string_view bytes, HtmlPage& page) {
  page = HtmlPage{};
  if (bytes.empty()) return;
  prepareLibrary();
  const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
  htmlDocPtr doc = htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options);
  if (!doc) return;
  std::string line;
  walk(reinterpret_cast<xmlNodePtr>(doc), page, line);
  std::string l = collapse(line);
  if (!l.empty()) page.text += l + "\n";
  xmlFreeDoc(doc);
}

}  // namespace platform::com::xml
