// System information: only the host name is served.
#include "KelSysInfo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "CKelError.h"
#include "KelDebugBlock.h"
#include "KelErrorDB.h"
#include "KelSysInfoInternal.h"
#include "ju.h"

namespace {

// Report coordinates: fixed values that log readers match on, not places in this file.
const char kSource[] = "../KelSysInfo";
constexpr int kLineAllocate = 158;
constexpr int kLineShrink = 175;

constexpr long kHostNameBlock = 64;

}  // namespace

long KelSysInfo(EKelSysInfo command, char* buf, long count)
{
    KEL_DEBUG(4, cout << "KelSysInfo()" << std::endl);
    if (command == E_KSIHostname) {
        if (ju::gethostname_new(buf, count) != 0) {
            return -1;
        }
        return static_cast<long>(ju::strlen_new(buf)) + 1;
    }
    if (command >= E_KSISysname && command < E_KSIHostname) {
        std::cerr << "Call not implemented yet!!!\n" << std::flush;
    }
    errno = EINVAL;
    return -1;
}

char* KelGetHostName()
{
    KEL_DEBUG(4, cout << "KelGetHostName()" << std::endl);
    char* name = static_cast<char*>(std::malloc(kHostNameBlock));
    if (name == nullptr) {
        // The report ends the process. The return keeps the compiler, which cannot know
        // that, from reading the use of a null block below as proof that it is never null.
        CKelError error(kelOutOfMemory, kSource, kLineAllocate, nullptr);
        return nullptr;
    }
    std::memset(name, 0, kHostNameBlock);
    if (KelSysInfo(E_KSIHostname, name, kHostNameBlock) < 0) {
        std::free(name);
        return nullptr;
    }
    char* exact = static_cast<char*>(std::realloc(name, ju::strlen_new(name) + 1));
    if (exact == nullptr) {
        CKelError error(kelOutOfMemory, kSource, kLineShrink, nullptr);
        return nullptr;
    }
    return exact;
}
