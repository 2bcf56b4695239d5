// Dotted-quad address text and the socket call wrappers.
#include "KelNetwork.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "CKelError.h"
#include "KelDebugBlock.h"
#include "KelErrorDB.h"
#include "KelNetworkInternal.h"
#include "KelOs.h"
#include "ju.h"

namespace {

// Report coordinates: fixed values that log readers match on, not places in this file.
const char kSource[] = "../KelNetwork";
constexpr int kLineOutOfMemory = 105;

constexpr std::size_t kTextSize = 16;  // "255.255.255.255" and its terminator

// in_addr is a plain structure on some systems and a union on others; its word is s_addr
// on all of them.
in_addr Address(std::uint32_t word)
{
    in_addr address{};
    address.s_addr = word;
    return address;
}

}  // namespace

char* KelGetIPStr(unsigned long ipnum_)
{
    KEL_DEBUG(4, cout << "KelGetIPStr()" << std::endl);
    const std::uint32_t ipnum = ntohl(static_cast<std::uint32_t>(ipnum_));
    char* text = static_cast<char*>(std::malloc(kTextSize));
    if (text == nullptr) {
        CKelError error(kelOutOfMemory, kSource, kLineOutOfMemory, nullptr);
        return nullptr;  // not reached: the report ends the process
    }
    std::memset(text, 0, kTextSize);
    ju::sprintf_new(text, "%d.%d.%d.%d", static_cast<int>(ipnum >> 24),
                    static_cast<int>((ipnum >> 16) & 0xFF), static_cast<int>((ipnum >> 8) & 0xFF),
                    static_cast<int>(ipnum & 0xFF));
    return text;
}

char* KelGetIPStr(in_addr ipnum_)
{
    KEL_DEBUG(4, cout << "KelGetIPStr()" << std::endl);
    return KelGetIPStr(static_cast<unsigned long>(ipnum_.s_addr));
}

char* KelGetIPStrH(in_addr ipnum)
{
    KEL_DEBUG(4, cout << "KelGetIPStrH()" << std::endl);
    return KelGetIPStr(Address(htonl(ipnum.s_addr)));
}

int KelInetAtoN(char* addr, in_addr* result)
{
    KEL_DEBUG(4, cout << "KelInetAtoN()" << std::endl);
    result->s_addr = inet_addr(addr);
    if (result->s_addr == INADDR_NONE) {
        result->s_addr = 0;
        return 0;
    }
    return 1;
}

int KelRecvFrom(int socket_new, void* buffer, unsigned int length, int flags, sockaddr* address, int* fromLen)
{
    int localLength = *fromLen;
    const int result =
        ju::junx_recvfrom(socket_new, buffer, static_cast<int>(length), flags, address, &localLength);
    *fromLen = localLength;
    return result;
}

int KelGetPeerName(unsigned int s, sockaddr* name, int* namelen)
{
    int localLength = *namelen;
    const int result = kelport::os::GetPeerName(s, name, &localLength);
    *namelen = localLength;
    return result;
}
