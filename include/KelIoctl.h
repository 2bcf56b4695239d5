/// \file
/// A portable ioctl with request numbers of the library's own, and the count of bytes waiting
/// on a socket.
#pragma once

#include "KelPortExport.h"

/// The library's request numbers, named after the UNIX requests. Three are served, and all
/// three ask for the count of bytes waiting to be read; the others fail with EINVAL.
enum KelIoctlEnum : int {
    KEL_I_NREAD = 1,          ///< STREAMS count of bytes waiting: served
    KEL_I_PUSH = 2,           ///< not served
    KEL_I_STR = 3,            ///< not served
    KEL_I_FLUSH = 4,          ///< not served
    KEL_I_POP = 5,            ///< not served
    KEL_I_LOOK = 6,           ///< not served
    KEL_SIOCGIFCONF = 16,     ///< not served
    KEL_SIOCGIFFLAGS = 17,    ///< not served
    KEL_SIOCGIFADDR = 18,     ///< not served
    KEL_SIOCGIFNETMASK = 19,  ///< not served
    KEL_SIOCGARP = 20,        ///< not served
    KEL_TIOCINQ = 32,         ///< terminal input-queue count: served
    KEL_FIONREAD = 33,        ///< not served, although the three served requests use FIONREAD
    KEL_SOCKET_N_READ = 48,   ///< count of bytes waiting on a socket: served, and reported on failure
};

/// Issues a request on a descriptor. KEL_I_NREAD, KEL_TIOCINQ and KEL_SOCKET_N_READ store the
/// count of bytes waiting to be read into the 32-bit count that \p arg points to and give the
/// system's result (negative on failure); every other request fails with -1 and errno EINVAL.
/// A failure of KEL_SOCKET_N_READ on a socket that can no longer be used is reported as
/// information (-220459); any other failure of it is fatal (-220447).
KELPORT_API int KelIoctl(int Fd, KelIoctlEnum request, void* arg);

/// The count of bytes waiting to be read on a socket, or 0 when it cannot be used (also
/// reported as information, -220459). Any other failure is fatal.
KELPORT_API int KelGetSocketPacketLength(int socketId);
