// The emulation library's calls that are the same on every system.
#include "ju.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "JuSystem.h"

namespace ju {
namespace {

const char* const kSocketMessages[] = {
    "Socket operation on non-socket",       // 228
    "Bad socket descriptor",                // 229
    "Socket is not connected",              // 230
    "Cannot send after socket shutdown",    // 231
    "Connection reset by peer",             // 232
    "Network is down",                      // 233
    "Operation now in progress",            // 234
    "Software caused connection abort",     // 235
    "Network dropped connection on reset",  // 236
};

// Longer than any system's host name.
constexpr std::size_t kHostNameMax = 256;

}  // namespace

int sprintf_new(char* buf, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int rc = std::vsprintf(buf, format, args);
    va_end(args);
    return rc;
}

std::size_t strlen_new(const char* text)
{
    return std::strlen(text);
}

const char* strerror_new(int errnum)
{
    if (errnum >= JU_ENOTSOCK && errnum <= JU_ENETRESET) {
        return kSocketMessages[errnum - JU_ENOTSOCK];
    }
    return system::Message(errnum);
}

int gethostname_new(char* buf, long len)
{
    if (len <= 0) {
        errno = EINVAL;
        return -1;
    }
    char name[kHostNameMax + 1] = {};
    if (system::HostName(name, kHostNameMax) != 0) {
        return -1;
    }
    const std::size_t size = std::strlen(name) + 1;
    if (size > static_cast<unsigned long>(len)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(buf, name, size);
    return 0;
}

}  // namespace ju
