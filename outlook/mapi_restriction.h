// Restrictions handed to MAPI tables: each object owns the SRestriction it points MAPI to, so the
// pointer stays valid as long as the object lives. A string value inside one is not copied: the
// caller keeps its text alive as long as the restriction.
#pragma once

#include "platform/modules/mapi32/mapidefs.h"

class CMAPIRestriction {
 public:
  virtual ~CMAPIRestriction() = default;
  virtual LPSRestriction getRestriction() = 0;

 protected:
  CMAPIRestriction() = default;
  CMAPIRestriction(const CMAPIRestriction&) = delete;
  CMAPIRestriction& operator=(const CMAPIRestriction&) = delete;
  SRestriction m_restriction{};
};

// RES_PROPERTY: the property `tag` compared with `value` by `relop` (RELOP_*).
class CMAPIPropRestriction : public CMAPIRestriction {
 public:
  CMAPIPropRestriction(SPropValue value, ULONG tag, ULONG relop);
  LPSRestriction getRestriction() override { return &m_restriction; }
  const SPropValue& value() const { return m_value; }

 private:
  SPropValue m_value;
};

// RES_BITMASK: the property `tag` and'ed with `mask`, zero or not by `relation` (BMR_EQZ/BMR_NEZ).
class CMAPIBitMaskRestriction : public CMAPIRestriction {
 public:
  CMAPIBitMaskRestriction(ULONG mask, ULONG tag, ULONG relation);
  LPSRestriction getRestriction() override { return &m_restriction; }
};
