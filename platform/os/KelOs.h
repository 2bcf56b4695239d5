// The operating system's own calls that the library makes directly, where their form
// differs between systems. Each system has its implementation folder beside this header.
#pragma once

#include <sys/socket.h>

#include "KelDL.h"

namespace kelport::os {

// Null when the library cannot be loaded, or no name is given.
HINSTANCE LoadLibrary(const char* fileName);
// Null when the library has no such symbol, or no library is given.
void* FindSymbol(HINSTANCE library, const char* name);
void FreeLibrary(HINSTANCE library);

int GetPid();

// getpeername with the address length as a plain int, left as it was when the call fails.
int GetPeerName(unsigned int s, sockaddr* name, int* namelen);

}  // namespace kelport::os
