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

/// recvfrom: the received count, or a negative result with the reason left where the system
/// put it. *fromLen gives the size of \p address on entry and holds the size of the sender's
/// address on return. Nothing is traced or reported.
KELPORT_API int KelRecvFrom(int socket_new, void* buffer, unsigned int length, int flags, sockaddr* address,
                            int* fromLen);
/// getpeername: 0, or -1 on failure; *namelen as for KelRecvFrom.
KELPORT_API int KelGetPeerName(unsigned int s, sockaddr* name, int* namelen);
