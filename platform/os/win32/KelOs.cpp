// The library's direct system calls on Windows: the kernel's module loader, the C runtime's
// process id and Windows Sockets.
#include "KelOs.h"

#include <winsock2.h>
#include <windows.h>

#include <process.h>

namespace kelport::os {
namespace {

// A caller may reach Windows Sockets through this library before any call of the emulation
// library has started them, so the library starts them too, once, on first use and never in
// DllMain (WSAStartup loads other libraries, which the loader lock forbids). Windows Sockets
// count their starts; this one is never matched by a cleanup, since at process termination
// other threads may still be using them.
void StartSockets()
{
    static const int started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    static_cast<void>(started);  // a failure shows in the calls that follow
}

}  // namespace

// The loader is given the caller's arguments as they are: a null name loads nothing, and a
// null module is the program itself, whose exports GetProcAddress searches.
Library OpenLibrary(const char* fileName)
{
    return ::LoadLibraryA(fileName);
}

void* FindSymbol(Library library, const char* name)
{
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
    StartSockets();
    int length = *namelen;
    const int rc = ::getpeername(static_cast<SOCKET>(s), name, &length);
    *namelen = length;
    return rc;
}

}  // namespace kelport::os
