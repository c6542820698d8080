// The document whose factory is building snap-ins. A snap-in that owns a synchronizer registers
// it with that document's run coordinator from its constructor, and a snap-in that works with a
// sibling finds it through the same document later; the factory's signature has no room for
// either, so the document names itself for the length of the build.
#pragma once

class CCustomizerDoc;
class CSpaceMan;

// Sets the factory's document for its lifetime and puts the previous one back afterwards.
class CFactoryDocumentScope {
 public:
  explicit CFactoryDocumentScope(CCustomizerDoc* document);
  ~CFactoryDocumentScope();
  CFactoryDocumentScope(const CFactoryDocumentScope&) = delete;
  CFactoryDocumentScope& operator=(const CFactoryDocumentScope&) = delete;

 private:
  CCustomizerDoc* m_previous;
};

// The document being built, or null outside a factory run (a snap-in made on its own).
CCustomizerDoc* factoryDocument();
// That document's run coordinator, or null.
CSpaceMan* factorySpaceMan();
