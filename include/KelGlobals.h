/// \file
/// Settings that the library holds for its callers, and a data-type enumeration of theirs.
#pragma once

#include "KelPortExport.h"

/// A setting held for the library's callers, 1 at first; the library never reads it.
extern KELPORT_API int g_OqlUse;
/// A setting held for the library's callers, null at first; the library never reads it.
extern KELPORT_API char* g_OdbcUse;
/// A setting held for the library's callers, null at first; the library never reads it.
extern KELPORT_API char* g_OqlLog;

/// Kinds of data of the library's callers; no call of the library takes or gives one.
enum EKelDataType {
    E_KDTInteger = 0,    ///< an integer
    E_KDTLong = 1,       ///< a long integer
    E_KDTString = 2,     ///< a text
    E_KDTFloat = 3,      ///< a floating-point number
    E_KDTLongLong = 4,   ///< a 64-bit integer
    E_KDTUChar = 5,      ///< an unsigned character
    E_KDTASN1 = 6,       ///< an ASN.1 value
    E_KDTList = 7,       ///< a list
    E_KDTObject = 8,     ///< an object
    E_KDTUndefined = 9,  ///< no kind yet
};
