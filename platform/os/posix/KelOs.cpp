#include "KelOs.h"

#include <dlfcn.h>
#include <unistd.h>

namespace kelport::os {

// dlopen and dlsym read a null name or handle as "the program itself"; a library loader
// that is given nothing finds nothing.
HINSTANCE LoadLibrary(const char* fileName)
{
    return fileName != nullptr ? ::dlopen(fileName, RTLD_NOW) : nullptr;
}

void* FindSymbol(HINSTANCE library, const char* name)
{
    return library != nullptr && name != nullptr ? ::dlsym(library, name) : nullptr;
}

void FreeLibrary(HINSTANCE library)
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
    if (::getpeername(static_cast<int>(s), name, &length) != 0) {
        return -1;
    }
    *namelen = static_cast<int>(length);
    return 0;
}

}  // namespace kelport::os
