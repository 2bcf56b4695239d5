// The system's own calls that the library makes directly, where their form differs between
// systems. Each system has its implementation folder beside this header (posix/, win32/).
#pragma once

struct sockaddr;

namespace kelport::os {

// A loaded library, as the system's loader knows it.
using Library = void*;

// Null when the library cannot be loaded, or no name is given.
Library OpenLibrary(const char* fileName);
// Null when the library has no such symbol; a null library is the program itself.
void* FindSymbol(Library library, const char* name);
void CloseLibrary(Library library);

int GetPid();

// getpeername with the address length as a plain int, copied back whatever the result: as
// the call left it.
int GetPeerName(unsigned int s, sockaddr* name, int* namelen);

}  // namespace kelport::os
