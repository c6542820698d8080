// Property and bit-mask restrictions over their own SRestriction.
#include "outlook/mapi_restriction.h"

CMAPIPropRestriction::CMAPIPropRestriction(SPropValue value, ULONG tag, ULONG relop) : m_value(value) {
  m_restriction.rt = RES_PROPERTY;
  m_restriction.res.resProperty = {relop, tag, &m_value};
}

CMAPIBitMaskRestriction::CMAPIBitMaskRestriction(ULONG mask, ULONG tag, ULONG relation) {
  m_restriction.rt = RES_BITMASK;
  m_restriction.res.resBitMask = {relation, tag, mask};
}
