// Settings that the library holds for its callers; the library itself never reads them.
#pragma once

#include "KelPortExport.h"

extern KELPORT_API int g_OqlUse;
extern KELPORT_API char* g_OdbcUse;
extern KELPORT_API char* g_OqlLog;

enum EKelDataType {
    E_KDTInteger = 0,
    E_KDTLong = 1,
    E_KDTString = 2,
    E_KDTFloat = 3,
    E_KDTLongLong = 4,
    E_KDTUChar = 5,
    E_KDTASN1 = 6,
    E_KDTList = 7,
    E_KDTObject = 8,
    E_KDTUndefined = 9,
};
