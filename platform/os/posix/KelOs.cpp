// The library's direct system calls on POSIX systems: the dynamic loader of dlfcn.h, and
// the socket and process calls of the C library.
#include "KelOs.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kelport::os {

// dlopen reads a null name as "the program itself", where the Windows loader given no name
// loads nothing: a null name loads nothing here too, so that a caller sees the same on both.
Library OpenLibrary(const char* fileName)
{
    return fileName != nullptr ? ::dlopen(fileName, RTLD_NOW) : nullptr;
}

// A null library is the global scope, the program itself first, as the Windows loader's
// null module is the program; a null name, which dlsym cannot read, finds nothing there.
void* FindSymbol(Library library, const char* name)
{
    return name != nullptr ? ::dlsym(library, name) : nullptr;
}

void CloseLibrary(Library library)
{
    ::dlclose(library);
}

int GetPid()
{
    return static_cast<int>(::getpid());
}

int GetPeerName(unsigned int s, sockaddr* name, int* namelen)
{
    socklen_t length = static_cast<socklen_t>(*namelen);
    const int rc = ::getpeername(static_cast<int>(s), name, &length);
    *namelen = static_cast<int>(length);
    return rc;
}

}  // namespace kelport::os
