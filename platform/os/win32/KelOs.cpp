// The library's direct system calls on Windows: the kernel's module loader, the C runtime's
// process id and Windows Sockets.
#include "KelOs.h"

#include <winsock2.h>
#include <windows.h>

#include <process.h>

namespace kelport::os {

Library OpenLibrary(const char* fileName)
{
    return fileName != nullptr ? ::LoadLibraryA(fileName) : nullptr;
}

void* FindSymbol(Library library, const char* name)
{
    if (library == nullptr || name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(Library library)
{
    ::FreeLibrary(static_cast<HMODULE>(library));
}

int GetPid()
{
    return ::_getpid();
}

int GetPeerName(unsigned int s, sockaddr* name, int* namelen)
{
    int length = *namelen;
    if (::getpeername(static_cast<SOCKET>(s), name, &length) != 0) {
        return -1;
    }
    *namelen = length;
    return 0;
}

}  // namespace kelport::os
