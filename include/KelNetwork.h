/// \file
/// IPv4 addresses as dotted-quad text, and socket calls whose address length is a plain int.
#pragma once

#include "KelPortExport.h"

/// An address in network byte order as dotted-quad text ("10.1.2.3") in a new 16-byte block
/// that the caller releases with free. Only the low 32 bits count. Out of memory is fatal
/// (-220553), so the result is never null.
KELPORT_API char* KelGetIPStr(unsigned long ipnum_);
/// The same for an in_addr.
KELPORT_API char* KelGetIPStr(in_addr ipnum_);

/// recvfrom: the received count, or -1 with the reason in errno, the same number on every
/// system: the emulation's socket conditions 228 to 236 (JU_ENOTSOCK for a descriptor that is
/// no socket, JU_ENOTCONN, JU_ECONNRESET, ...), EAGAIN when a non-blocking socket has nothing
/// waiting, EFAULT for a bad buffer, and otherwise the C library's number on POSIX systems, 22
/// (EINVAL) on Windows. *fromLen gives the size of \p address on entry and holds the size of
/// the sender's address on return. Nothing is traced or reported.
KELPORT_API int KelRecvFrom(int socket_new, void* buffer, unsigned int length, int flags, sockaddr* address,
                            int* fromLen);
/// getpeername: 0, or -1 on failure with the system's own reason, untranslated: errno on
/// POSIX systems, WSAGetLastError() on Windows. *namelen as for KelRecvFrom.
KELPORT_API int KelGetPeerName(unsigned int s, sockaddr* name, int* namelen);
