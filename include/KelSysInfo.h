/// \file
/// Questions about the running system, answered as text in the caller's buffer.
#pragma once

#include "KelPortExport.h"

/// The questions KelSysInfo is asked. Only the host name is served.
enum EKelSysInfo : int {
    E_KSISysname = 1,         ///< operating system name: not served
    E_KSISetHostname = 2,     ///< set the host name: not served
    E_KSIRelease = 3,         ///< operating system release: not served
    E_KSIVersion = 4,         ///< operating system version: not served
    E_KSIMachine = 5,         ///< machine type: not served
    E_KSIArchitecture = 6,    ///< processor architecture: not served
    E_KSIIsAList = 7,         ///< instruction-set architectures: not served
    E_KSIPlatform = 8,        ///< hardware platform: not served
    E_KSIHwProvider = 9,      ///< hardware provider: not served
    E_KSIHwSerial = 10,       ///< hardware serial number: not served
    E_KSISRpcDomain = 11,     ///< secure RPC domain: not served
    E_KSISetSrpcDomain = 12,  ///< set the secure RPC domain: not served
    E_KSIHostname = 13,       ///< the host name: served
};

/// Answers a question in \p buf, which holds \p count bytes. For E_KSIHostname: the host
/// name's length plus its terminator, with the terminated name in \p buf; -1 with errno set
/// when it does not fit. Every other question: -1 with errno EINVAL (questions 1 to 12 also
/// say on standard error that they are not implemented).
KELPORT_API long KelSysInfo(EKelSysInfo command, char* buf, long count);
