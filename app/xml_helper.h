// CXMLHelper: the small wrapper over the system's XML DOM through which every read and write of
// the customization file goes (the main program's and the U3 utility's). One object holds one
// document for one read or write: load, then read or change nodes by XPath, then save.
//
// Nodes are found, never created: a path that selects nothing is a logged failure. Every failure
// is written to the log with the texts of kXmlHelperLog* and reported as false.
#pragma once

#include <vector>

#include "platform/afx/cstring.h"
#include "platform/com/xml/msxml.h"

class CXMLHelper {
 public:
  // Initialises COM on the calling thread for the object's life.
  CXMLHelper();
  // Releases the document, then uninitialises COM.
  virtual ~CXMLHelper();
  CXMLHelper(const CXMLHelper&) = delete;
  CXMLHelper& operator=(const CXMLHelper&) = delete;

  // Loads the file into a new document (asynchronous loading, validation and resolution of
  // externals off). False, with the parser's reason, line and position in the log, when it does
  // not parse; the helper then holds no document.
  bool load(const CString& path);
  bool save(const CString& path);

  // The text of the first node the expression selects.
  bool getText(const CString& xpath, CString& text);
  bool setText(const CString& xpath, const CString& text);
  // The texts of all selected nodes, in document order.
  bool getTexts(const CString& xpath, std::vector<CString>& texts);
  // Sets the selected nodes' texts in document order from the list, as far as both reach.
  bool setTexts(const CString& xpath, const std::vector<CString>& texts);
  // One record per selected element, in document order: the values of the named attributes, an
  // empty text for an attribute the element lacks. False (logged) when nothing is selected.
  bool getAttributeRecords(const CString& xpath, const std::vector<CString>& attributes,
                           std::vector<std::vector<CString>>& records);
  // The XML markup of the first selected node (the DOM's canonical form, msxml.h).
  bool getNodeXml(const CString& xpath, CString& xml);

  bool isLoaded() const { return static_cast<bool>(m_document); }

 private:
  bool requireDocument();
  platform::com::Ptr<IXMLDOMNode> firstNode(const CString& xpath);
  // The nodes `xpath` selects and their count; 0 (logged) when it selects none.
  LONG selectAll(const CString& xpath, platform::com::Ptr<IXMLDOMNodeList>& list);

  platform::com::Ptr<IXMLDOMDocument> m_document;
  bool m_comInitialized = false;
};
