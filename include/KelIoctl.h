// A portable ioctl with request numbers of the library's own, and the count of bytes waiting
// on a socket.
#pragma once

#include "KelPortExport.h"

enum KelIoctlEnum : int {
    KEL_I_NREAD = 1,
    KEL_I_PUSH = 2,
    KEL_I_STR = 3,
    KEL_I_FLUSH = 4,
    KEL_I_POP = 5,
    KEL_I_LOOK = 6,
    KEL_SIOCGIFCONF = 16,
    KEL_SIOCGIFFLAGS = 17,
    KEL_SIOCGIFADDR = 18,
    KEL_SIOCGIFNETMASK = 19,
    KEL_SIOCGARP = 20,
    KEL_TIOCINQ = 32,
    KEL_FIONREAD = 33,
    KEL_SOCKET_N_READ = 48,
};

// KEL_I_NREAD, KEL_TIOCINQ and KEL_SOCKET_N_READ store the count of bytes waiting to be read
// into the 32-bit count that arg points to, and give the platform's result; every other
// request fails with -1 and errno EINVAL. A failure of KEL_SOCKET_N_READ on a socket that
// can no longer be used is reported as information; any other failure of it is fatal.
KELPORT_API int KelIoctl(int Fd, KelIoctlEnum request, void* arg);

// The count of bytes waiting to be read on socketId, or 0 when the socket cannot be used.
KELPORT_API int KelGetSocketPacketLength(int socketId);
