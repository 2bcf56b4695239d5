// The ioctl dispatcher and the socket packet length. The three supported requests all become
// the emulation's request for the count of bytes waiting to be read.
#include "KelIoctl.h"

#include <cerrno>
#include <cstdint>

#include "CKelError.h"
#include "KelDebugBlock.h"
#include "KelErrorDB.h"
#include "KelIoctlInternal.h"
#include "ju.h"

namespace {

// Report coordinates: fixed values that log readers match on, not places in this file.
const char kSource[] = "../KelIoctl";
constexpr int kLineNotIFamily = 195;
constexpr int kLinePktLenUnusable = 372;
constexpr int kLinePktLenFailed = 378;
constexpr int kLinePacketLength = 408;

int Unsupported()
{
    errno = EINVAL;
    return -1;
}

// The emulation's errno numbers for a descriptor that is no longer a usable socket.
bool IsUnusableSocket(int error)
{
    switch (error) {
    case ju::JU_ENOTSOCK:
    case ju::JU_EBADSOCK:
    case ju::JU_ENOTCONN:
    case ju::JU_ESHUTDOWN:
    case ju::JU_ECONNRESET:
    case ju::JU_ECONNABORTED:
        return true;
    default:
        return false;
    }
}

}  // namespace

int KelIoctl(int Fd, KelIoctlEnum request, void* arg)
{
    KEL_DEBUG(4, cout << "KelIoctl()" << std::endl);
    switch (request) {
    case KEL_I_NREAD:
        return KelIoctl_I(Fd, request, arg);
    case KEL_TIOCINQ:
        return KelIoctl_TIOC(Fd, request, arg);
    case KEL_SOCKET_N_READ:
        return KelIoctl_PktLen(Fd, arg);
    default:
        return Unsupported();
    }
}

int KelIoctl_I(int Fd, KelIoctlEnum request, void* arg)
{
    KEL_DEBUG(4, cout << "KelIoctl_I()" << std::endl);
    if (request != KEL_I_NREAD) {
        KEL_DEBUG(2, cout << "Non KEL_I_ ioctl passed to KelIoctl_I function!" << std::endl);
        CKelError error(kelGenericFatal, kSource, kLineNotIFamily, nullptr);  // ends the process here
    }
    return ju::ioctl(Fd, ju::JU_FIONREAD, arg);
}

int KelIoctl_TIOC(int Fd, KelIoctlEnum request, void* arg)
{
    KEL_DEBUG(4, cout << "KelIoctl_TIOC()" << std::endl);
    if (request == KEL_TIOCINQ) {
        return ju::ioctl(Fd, ju::JU_FIONREAD, arg);
    }
    return Unsupported();
}

int KelIoctl_SIOC(int Fd, KelIoctlEnum request, void* arg)
{
    KEL_DEBUG(4, cout << "KelIoctl_SIOC( Fd = " << Fd << " request = " << request << " arg = 0x" << std::hex
                      << reinterpret_cast<std::uintptr_t>(arg) << ")" << std::endl);
    return Unsupported();
}

int KelIoctl_FION(int, KelIoctlEnum, void*)
{
    return -1;
}

int KelIoctl_PktLen(int Fd, void* arg)
{
    KEL_DEBUG(4, cout << "KelIoctl_PktLen()" << std::endl);
    const int status = ju::ioctl(Fd, ju::JU_FIONREAD, arg);
    if (status < 0) {
        const int error = errno;
        if (IsUnusableSocket(error)) {
            CKelError report(kelSocketInvalid, kSource, kLinePktLenUnusable, ju::strerror_new(error));
        } else {
            CKelError report(kelIoctlFailed, kSource, kLinePktLenFailed, ju::strerror_new(error));
        }
    }
    return status;
}

int KelIoctl_ArpReq(int, void*)
{
    KEL_DEBUG(4, cout << "KelIoctl_ArpReq" << std::endl);
    return -1;
}

int KelGetSocketPacketLength(int socketId)
{
    std::int32_t packetLength = 0;
    KEL_DEBUG(4, cout << "KelGetSocketPacketLength(" << socketId << ")" << std::endl);
    if (KelIoctl(socketId, KEL_SOCKET_N_READ, &packetLength) < 0) {
        CKelError report(kelSocketInvalid, kSource, kLinePacketLength, ju::strerror_new(errno));
    }
    return packetLength;
}
