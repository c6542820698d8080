// Run-time class records of the named collections.
#include "platform/afx/coll.h"

IMPLEMENT_SERIAL(CStringArray, CObject, 1)
IMPLEMENT_DYNAMIC(CPtrArray, CObject)
IMPLEMENT_DYNAMIC(CObArray, CObject)
IMPLEMENT_SERIAL(CDWordArray, CObject, 1)
IMPLEMENT_SERIAL(CUIntArray, CObject, 1)
IMPLEMENT_SERIAL(CByteArray, CObject, 1)
IMPLEMENT_SERIAL(CWordArray, CObject, 1)
IMPLEMENT_SERIAL(CStringList, CObject, 1)
IMPLEMENT_DYNAMIC(CPtrList, CObject)
IMPLEMENT_DYNAMIC(CObList, CObject)
IMPLEMENT_SERIAL(CMapStringToString, CObject, 1)
IMPLEMENT_DYNAMIC(CMapStringToPtr, CObject)
IMPLEMENT_DYNAMIC(CMapStringToOb, CObject)
IMPLEMENT_DYNAMIC(CMapPtrToPtr, CObject)
