// The document whose factory is building snap-ins (factory_context.h).
#include "snapins/factory_context.h"

#include "app/customizer_doc.h"

namespace {
CCustomizerDoc* g_factoryDocument = nullptr;
}  // namespace

CFactoryDocumentScope::CFactoryDocumentScope(CCustomizerDoc* document) : m_previous(g_factoryDocument) {
  g_factoryDocument = document;
}

CFactoryDocumentScope::~CFactoryDocumentScope() { g_factoryDocument = m_previous; }

CCustomizerDoc* factoryDocument() { return g_factoryDocument; }

CSpaceMan* factorySpaceMan() { return g_factoryDocument ? &g_factoryDocument->getSpaceMan() : nullptr; }
