// IPv4 addresses as dotted-quad text, and socket calls whose address length is a plain int.
#pragma once

#include "KelPortExport.h"

// The address, in network byte order, as dotted-quad text in a new 16-byte block that the
// caller frees. The unsigned long form uses the low 32 bits.
KELPORT_API char* KelGetIPStr(unsigned long ipnum_);
KELPORT_API char* KelGetIPStr(in_addr ipnum_);

// recvfrom: the received count or a negative result; *fromLen gives the size of address on
// entry and holds the size of the sender's address on return.
KELPORT_API int KelRecvFrom(int socket_new, void* buffer, unsigned int length, int flags, sockaddr* address,
                            int* fromLen);
// getpeername: 0, or -1 on failure; *namelen as for KelRecvFrom.
KELPORT_API int KelGetPeerName(unsigned int s, sockaddr* name, int* namelen);
