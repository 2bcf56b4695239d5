// Questions about the running system, answered as text in the caller's buffer.
#pragma once

#include "KelPortExport.h"

enum EKelSysInfo : int {
    E_KSISysname = 1,
    E_KSISetHostname = 2,
    E_KSIRelease = 3,
    E_KSIVersion = 4,
    E_KSIMachine = 5,
    E_KSIArchitecture = 6,
    E_KSIIsAList = 7,
    E_KSIPlatform = 8,
    E_KSIHwProvider = 9,
    E_KSIHwSerial = 10,
    E_KSISRpcDomain = 11,
    E_KSISetSrpcDomain = 12,
    E_KSIHostname = 13,
};

// For E_KSIHostname, the host name's length plus its terminator, with the terminated name
// in buf; -1 with errno set when it does not fit in count bytes. Every other query: -1 with
// errno EINVAL (queries 1 to 12 also say on standard error that they are not implemented).
KELPORT_API long KelSysInfo(EKelSysInfo command, char* buf, long count);
