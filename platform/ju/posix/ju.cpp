// The emulation library on POSIX systems: thin calls into the C library, with the errno
// numbers of failed socket requests mapped onto the emulation's own.
#include "ju.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "JuSystem.h"

namespace ju {
namespace {

int TranslateErrno(int native, bool fionread)
{
    switch (native) {
    case ENOTSOCK:
    case ENOTTY:  // the descriptor serves no such request
        return JU_ENOTSOCK;
    case EBADF:
        return JU_EBADSOCK;
    case ENOTCONN:
        return JU_ENOTCONN;
    case EINVAL:  // FIONREAD on a listening socket
        return fionread ? JU_ENOTCONN : native;
    case ESHUTDOWN:
    case EPIPE:
        return JU_ESHUTDOWN;
    case ECONNRESET:
        return JU_ECONNRESET;
    case ENETDOWN:
        return JU_ENETDOWN;
    case EINPROGRESS:
        return JU_EINPROGRESS;
    case ECONNABORTED:
        return JU_ECONNABORTED;
    case ENETRESET:
        return JU_ENETRESET;
    default:
        return native;
    }
}

// A thread's record of one look-up, with the storage its pointers reach. The storage starts
// smaller than any record, so the way it grows is taken on every thread's first look-up and
// not only by the rare record of many names.
template <typename Entry>
struct LookupSlot {
    Entry entry{};
    std::vector<char> storage = std::vector<char>(64);
};

// The C library's reentrant look-ups answer ERANGE while the storage is too small.
constexpr std::size_t kMaxLookupStorage = std::size_t{1} << 24;

template <typename Entry, typename Call>
Entry* LookUp(LookupSlot<Entry>& slot, Call call)
{
    for (;;) {
        Entry* result = nullptr;
        int herr = 0;
        const int rc = call(&slot.entry, slot.storage.data(), slot.storage.size(), &result, &herr);
        if (rc == ERANGE && slot.storage.size() < kMaxLookupStorage) {
            slot.storage.resize(slot.storage.size() * 2);
            continue;
        }
        if (result == nullptr) {  // the C library's answer to a failure of any kind
            h_errno = herr;
            return nullptr;
        }
        return result;
    }
}

}  // namespace

namespace system {

const char* Message(int errnum)
{
    if (const char* text = ::strerrordesc_np(errnum)) {
        return text;
    }
    thread_local char unknown[32];
    std::snprintf(unknown, sizeof unknown, "Unknown error %d", errnum);
    return unknown;
}

int HostName(char* buf, std::size_t size)
{
    return ::gethostname(buf, size);
}

}  // namespace system

int fork()
{
    return ::fork();
}

int ioctl(int fd, unsigned long request, void* arg)
{
    const bool fionread = request == JU_FIONREAD;
    const int rc = ::ioctl(fd, fionread ? FIONREAD : request, arg);
    if (rc < 0) {
        errno = TranslateErrno(errno, fionread);
        return -1;
    }
    return rc;
}

void* sbrk(std::intptr_t increment)
{
    return ::sbrk(increment);
}

hostent* gethostbyname_new(const char* name)
{
    thread_local LookupSlot<hostent> slot;
    return LookUp(slot, [name](hostent* entry, char* storage, std::size_t size, hostent** result, int* herr) {
        return ::gethostbyname_r(name, entry, storage, size, result, herr);
    });
}

hostent* gethostbyaddr_new(const char* addr, int len, int type)
{
    thread_local LookupSlot<hostent> slot;
    return LookUp(slot, [=](hostent* entry, char* storage, std::size_t size, hostent** result, int* herr) {
        return ::gethostbyaddr_r(addr, static_cast<socklen_t>(len), type, entry, storage, size, result, herr);
    });
}

protoent* getprotobyname_new(const char* name)
{
    thread_local LookupSlot<protoent> slot;
    return LookUp(slot, [name](protoent* entry, char* storage, std::size_t size, protoent** result, int*) {
        return ::getprotobyname_r(name, entry, storage, size, result);
    });
}

char* ctime_r(const long* clock, char* buf)
{
    const std::time_t time = static_cast<std::time_t>(*clock);
    return ::ctime_r(&time, buf);
}

int junx_recvfrom(int s, void* buf, int len, int flags, void* from, int* fromlen)
{
    socklen_t size = fromlen != nullptr ? static_cast<socklen_t>(*fromlen) : 0;
    const ssize_t rc = ::recvfrom(s, buf, static_cast<std::size_t>(len), flags, static_cast<sockaddr*>(from),
                                  fromlen != nullptr ? &size : nullptr);
    if (rc < 0) {
        errno = TranslateErrno(errno, false);
        return -1;
    }
    if (fromlen != nullptr) {
        *fromlen = static_cast<int>(size);
    }
    return static_cast<int>(rc);
}

char* asctime(const std::tm* time)
{
    thread_local char text[26];
    return ::asctime_r(time, text);
}

}  // namespace ju
