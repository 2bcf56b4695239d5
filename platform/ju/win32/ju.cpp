// The emulation library on Windows: Windows Sockets and the C runtime, with the errors of
// failed socket requests mapped onto the emulation's errno numbers, so that they mean the
// same as on every other system.
#include "ju.h"

#include <winsock2.h>
#include <windows.h>

#include <malloc.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "JuSystem.h"

namespace ju {
namespace {

constexpr std::size_t kTimeTextSize = 26;

// Windows Sockets serves a process only after WSAStartup, which loads other libraries and so
// cannot run inside DllMain under the loader lock: each call that reaches it starts it here,
// once. It is never cleaned up: at process termination the other threads may still be using
// it, or be gone holding its locks. A failed start leaves every call failing with
// WSANOTINITIALISED, which is what the caller sees.
void StartSockets()
{
    static const int started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    static_cast<void>(started);  // a failure shows in the calls that follow
}

int TranslateError(int error, bool fionread)
{
    switch (error) {
    case WSAENOTSOCK:
        return JU_ENOTSOCK;
    case WSAEBADF:
        return JU_EBADSOCK;
    case WSAENOTCONN:
        return JU_ENOTCONN;
    case WSAEINVAL:  // FIONREAD on a socket that cannot have data
        return fionread ? JU_ENOTCONN : EINVAL;
    case WSAESHUTDOWN:
        return JU_ESHUTDOWN;
    case WSAECONNRESET:
        return JU_ECONNRESET;
    case WSAENETDOWN:
        return JU_ENETDOWN;
    case WSAEINPROGRESS:
        return JU_EINPROGRESS;
    case WSAECONNABORTED:
        return JU_ECONNABORTED;
    case WSAENETRESET:
        return JU_ENETRESET;
    case WSAEFAULT:  // a bad argument pointer, a general failure as elsewhere
        return EFAULT;
    case WSAEWOULDBLOCK:  // what a caller of a non-blocking socket waits on
        return EAGAIN;
    default:
        return EINVAL;
    }
}

// The broken-down time of seconds since 1970 in a zone without summer time, by the proleptic
// Gregorian calendar (days to a civil date in 400-year eras of 146097 days, each starting on
// 1 March so that the leap day ends its year).
std::tm Civil(std::int64_t seconds)
{
    constexpr std::int64_t kDay = 86400;
    std::int64_t days = seconds / kDay;
    std::int64_t second = seconds % kDay;
    if (second < 0) {
        second += kDay;
        --days;
    }
    std::tm civil{};
    civil.tm_hour = static_cast<int>(second / 3600);
    civil.tm_min = static_cast<int>(second / 60 % 60);
    civil.tm_sec = static_cast<int>(second % 60);
    civil.tm_wday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1 January 1970 was a Thursday
    const std::int64_t shifted = days + 719468;                  // days since 1 March of year 0
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t month = (5 * dayOfYear + 2) / 153;  // from March
    civil.tm_mday = static_cast<int>(dayOfYear - (153 * month + 2) / 5 + 1);
    civil.tm_mon = static_cast<int>(month < 10 ? month + 2 : month - 10);
    civil.tm_year = static_cast<int>(yearOfEra + era * 400 + (month >= 10 ? 1 : 0) - 1900);
    return civil;
}

// A host record with the texts and addresses it reaches, kept apart from Windows Sockets'
// own record. Plain bytes, with no destructor: a per-thread object that has one makes this
// library delete a thread key as it unloads, which waits forever on a lock that a thread ended
// by the process's exit may hold. Windows Sockets' own record takes at most MAXGETHOSTSTRUCT
// bytes, and this room is four times that.
struct HostCopy {
    hostent entry;
    char* lists[256];  // the aliases, a null, the addresses, a null
    alignas(std::max_align_t) char bytes[4 * MAXGETHOSTSTRUCT];
};

// Windows Sockets has one host record per thread for both host look-ups: each look-up keeps
// a copy of its own, so that the thread's look-up of the other kind leaves it whole, as it
// does on every other system.
hostent* Keep(HostCopy& copy, const hostent* found)
{
    if (found == nullptr) {
        return nullptr;
    }
    std::size_t aliases = 0;
    std::size_t addresses = 0;
    std::size_t size = std::strlen(found->h_name) + 1;
    for (; found->h_aliases[aliases] != nullptr; ++aliases) {
        size += std::strlen(found->h_aliases[aliases]) + 1;
    }
    for (; found->h_addr_list[addresses] != nullptr; ++addresses) {
        size += static_cast<std::size_t>(found->h_length);
    }
    if (aliases + addresses + 2 > std::size(copy.lists) || size > sizeof copy.bytes) {
        ::WSASetLastError(WSAENOBUFS);
        return nullptr;
    }
    char* at = copy.bytes;
    const auto put = [&at](const char* data, std::size_t length) {
        char* const kept = static_cast<char*>(std::memcpy(at, data, length));
        at += length;
        return kept;
    };
    copy.entry = *found;
    copy.entry.h_aliases = copy.lists;
    copy.entry.h_addr_list = copy.lists + aliases + 1;
    // The addresses first, so that each is as aligned as a caller reading it as one expects.
    for (std::size_t i = 0; i < addresses; ++i) {
        copy.entry.h_addr_list[i] = put(found->h_addr_list[i], static_cast<std::size_t>(found->h_length));
    }
    copy.entry.h_addr_list[addresses] = nullptr;
    copy.entry.h_name = put(found->h_name, std::strlen(found->h_name) + 1);
    for (std::size_t i = 0; i < aliases; ++i) {
        copy.lists[i] = put(found->h_aliases[i], std::strlen(found->h_aliases[i]) + 1);
    }
    copy.lists[aliases] = nullptr;
    return &copy.entry;
}

}  // namespace

namespace system {

// The runtime keeps the text of strerror per thread.
const char* Message(int errnum)
{
    return std::strerror(errnum);
}

int HostName(char* buf, std::size_t size)
{
    StartSockets();
    if (::gethostname(buf, static_cast<int>(size)) != 0) {
        errno = TranslateError(::WSAGetLastError(), false);
        return -1;
    }
    return 0;
}

}  // namespace system

int fork()
{
    errno = ENOSYS;
    return -1;
}

int ioctl(int fd, unsigned long request, void* arg)
{
    // The emulation's FIONREAD is the Windows Sockets request of that name.
    const bool fionread = request == JU_FIONREAD;
    StartSockets();
    if (::ioctlsocket(static_cast<SOCKET>(fd), static_cast<long>(request), static_cast<u_long*>(arg)) != 0) {
        errno = TranslateError(::WSAGetLastError(), fionread);
        return -1;
    }
    return 0;
}

// The heap has no single break on Windows. Its first segment, which starts at its handle,
// is reserved whole and committed from the bottom up as the heap grows, as a break moves:
// the top is the end of that segment's committed memory. A few questions to the kernel find
// it, without the heap's lock, where walking the heap's blocks would hold every other
// thread's allocation for as long as there are blocks. Only sbrk(0) is served.
void* sbrk(std::intptr_t increment)
{
    if (increment != 0) {
        errno = ENOMEM;
        return reinterpret_cast<void*>(-1);
    }
    const auto heap = reinterpret_cast<const char*>(::_get_heap_handle());
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(heap, &region, sizeof region) == 0) {
        return const_cast<char*>(heap);
    }
    const void* const segment = region.AllocationBase;
    const char* top = heap;
    for (const char* at = heap;
         ::VirtualQuery(at, &region, sizeof region) != 0 && region.AllocationBase == segment;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT) {
            top = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        }
    }
    return const_cast<char*>(top);
}

hostent* gethostbyname_new(const char* name)
{
    StartSockets();
    thread_local HostCopy copy;
    return Keep(copy, ::gethostbyname(name));
}

hostent* gethostbyaddr_new(const char* addr, int len, int type)
{
    StartSockets();
    thread_local HostCopy copy;
    return Keep(copy, ::gethostbyaddr(addr, len, type));
}

// Windows Sockets keeps a protocol record per thread, of its own.
protoent* getprotobyname_new(const char* name)
{
    StartSockets();
    return ::getprotobyname(name);
}

char* ctime_r(const long* clock, char* buf)
{
    const std::time_t time = static_cast<std::time_t>(*clock);
    std::tm local{};
    if (::localtime_s(&local, &time) != 0) {
        // The runtime's local time refuses every time before 1970, and may refuse one whose
        // local time falls before it. It holds no rules of summer time for those years, so
        // its standard bias is all that it can honestly say of them.
        ::_tzset();
        local = Civil(static_cast<std::int64_t>(time) - _timezone);
    }
    // POSIX asctime's text, the day padded with a blank where the runtime's pads with a zero.
    static const char kDays[] = "SunMonTueWedThuFriSat";
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays + 3 * local.tm_wday,
                  kMonths + 3 * local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
    std::memcpy(buf, text, kTimeTextSize);
    buf[kTimeTextSize - 1] = '\0';
    return buf;
}

int junx_recvfrom(int s, void* buf, int len, int flags, void* from, int* fromlen)
{
    StartSockets();
    const int rc = ::recvfrom(static_cast<SOCKET>(s), static_cast<char*>(buf), len, flags,
                              static_cast<sockaddr*>(from), fromlen);
    if (rc == SOCKET_ERROR) {
        const int error = ::WSAGetLastError();
        // A datagram longer than the buffer fills it and is cut, as POSIX receives it.
        if (error == WSAEMSGSIZE) {
            return len;
        }
        errno = TranslateError(error, false);
        return -1;
    }
    return rc;
}

// The runtime keeps the text of asctime per thread.
char* asctime(const std::tm* time)
{
    return std::asctime(time);
}

}  // namespace ju
