// The POSIX-emulation library's interface, as KelPort calls it. Each system has its own
// implementation folder beside this header (posix/, win32/); callers see only this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#if defined(_WIN32)
#  include <winsock2.h>
#  if defined(JU_BUILDING)
#    define JU_API __declspec(dllexport)
#  else
// Calls reach the library through its import library's stubs, so that a program may put a
// double of one call in its place at link time.
#    define JU_API
#  endif
#else
#  include <netdb.h>
#  define JU_API __attribute__((visibility("default")))
#endif

namespace ju {

// Socket-condition errno numbers of the emulation. They are the same on every system; each
// implementation maps its native errors onto them.
enum : int {
    JU_ENOTSOCK = 228,
    JU_EBADSOCK = 229,
    JU_ENOTCONN = 230,
    JU_ESHUTDOWN = 231,
    JU_ECONNRESET = 232,
    JU_ENETDOWN = 233,
    JU_EINPROGRESS = 234,
    JU_ECONNABORTED = 235,
    JU_ENETRESET = 236,
};

// The emulation's request for the count of bytes waiting to be read.
constexpr unsigned long JU_FIONREAD = 0x4004667FUL;

// -1 with errno ENOSYS where the system has no fork.
JU_API int fork();
// JU_FIONREAD becomes the native request; other numbers pass through unchanged.
// On failure: -1 with errno translated to the numbers above.
JU_API int ioctl(int fd, unsigned long request, void* arg);
// sbrk(0): the top of the heap, as the C library sees it.
JU_API void* sbrk(std::intptr_t increment);
JU_API int sprintf_new(char* buf, const char* format, ...) __attribute__((format(printf, 2, 3)));
JU_API std::size_t strlen_new(const char* text);
// Safe to call from many threads at once; the text is never freed.
JU_API const char* strerror_new(int errnum);
// 0 only when the whole name and its terminator fit in len bytes.
JU_API int gethostname_new(char* buf, long len);

// Each look-up returns a record that belongs to the calling thread; it is overwritten only
// by that thread's next call of the same look-up.
JU_API hostent* gethostbyname_new(const char* name);
JU_API hostent* gethostbyaddr_new(const char* addr, int len, int type);
JU_API protoent* getprotobyname_new(const char* name);

// buf must hold the 26 bytes of the time text.
JU_API char* ctime_r(const long* clock, char* buf);
JU_API int junx_recvfrom(int s, void* buf, int len, int flags, void* from, int* fromlen);

// The runtime's asctime, with its text kept per thread as the Windows runtime keeps it, so
// that one thread's call never overwrites another's text.
JU_API char* asctime(const std::tm* time);

}  // namespace ju
