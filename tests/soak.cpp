// Many threads calling across the library at once, at debug level 4.
//   kelport_soak THREADS CALLS
// Each thread makes CALLS calls in turn of five kinds; where a call's trace can carry a
// number (the thread request of KelMaxThreads, the line of a report), it carries the call's
// own: thread * CALLS + call. Prints the number of records the traces should hold.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "CKelError.h"
#include "CKelEtherHeader.h"
#include "KelAtoll.h"
#include "KelDebug.h"
#include "KelIoctl.h"
#include "KelNetwork.h"
#include "KelThreads.h"
#include "support/Support.h"

namespace {

constexpr int kKinds = 5;
constexpr long kRecordsPerRound = 2 + 3 + 2 + 4 + 1;

bool Soak(int thread, int calls)
{
    StreamPair pair;
    pair.Send("soak");
    unsigned char frame[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x08, 0x00};
    bool right = true;
    for (int call = 0; call < calls; ++call) {
        const int id = thread * calls + call;
        switch (call % kKinds) {
        case 0:
            right &= KelMaxThreads(id) == id;
            break;
        case 1:
            right &= KelGetSocketPacketLength(pair.reader()) == 4;
            break;
        case 2: {
            char* text = KelGetIPStr(Address(htonl(0x0A010203)));
            right &= std::strcmp(text, "10.1.2.3") == 0;
            std::free(text);
            break;
        }
        case 3: {
            CKelEtherHeader header(frame);
            right &= header.KEHGetEtherType() == 2048;
            break;
        }
        default: {
            right &= KelAtoll("1,234") == 1234;
            CKelError report(-220459, "../soak", id, nullptr);
            break;
        }
        }
    }
    return right;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kelport_soak THREADS CALLS\n");
        return 2;
    }
    const int threads = std::atoi(argv[1]);
    const int calls = std::atoi(argv[2]);
    if (threads <= 0 || calls <= 0 || calls % kKinds != 0) {
        std::fprintf(stderr, "kelport_soak: THREADS and CALLS must be positive, CALLS a multiple of %d\n",
                     kKinds);
        return 2;
    }
    __Kelvora_Debug_Level = 4;
    std::vector<std::thread> workers;
    std::vector<char> right(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, calls, &right] { right[static_cast<std::size_t>(t)] = Soak(t, calls); });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    for (const char ok : right) {
        if (!ok) {
            std::fprintf(stderr, "kelport_soak: a call gave a wrong answer\n");
            return 1;
        }
    }
    std::printf("%ld\n", static_cast<long>(threads) * calls / kKinds * kRecordsPerRound);
    return 0;
}
