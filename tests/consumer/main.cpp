// Uses the installed library as a program of the product would.
#include <cstdio>
#include <cstdlib>

#include "KelPort.h"

int main()
{
    in_addr address{};
    address.s_addr = htonl(0x0A010203);
    char* text = KelGetIPStr(address);
    std::printf("%s %lld %d\n", text, KelAtoll("-1,234"), KelMaxThreads(8));
    std::free(text);
    __Kelvora_Debug_Level = 4;
    CKelError report(-220459, "../consumer", 1, nullptr);
    return 0;
}
