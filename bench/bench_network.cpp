// Network services with tracing off, side by side with what a program would do without the
// library: ioctl(FIONREAD), inet_ntop into a fresh block, inet_addr, reading the frame itself.
#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <benchmark/benchmark.h>

#include "CKelEtherHeader.h"
#include "KelDebug.h"
#include "KelIoctl.h"
#include "KelNetwork.h"
#include "KelNetworkInternal.h"

namespace {

class QueuedSocket {
public:
    QueuedSocket()
    {
        ::socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds);
        [[maybe_unused]] const auto written = ::write(m_fds[1], "0123456789", 10);
        __Kelvora_Debug_Level = 0;
    }
    ~QueuedSocket()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int fd() const { return m_fds[0]; }

private:
    int m_fds[2];
};

void BM_PacketLength_Kel(benchmark::State& state)
{
    QueuedSocket socket;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelGetSocketPacketLength(socket.fd()));
    }
}
void BM_PacketLength_Ioctl(benchmark::State& state)
{
    QueuedSocket socket;
    for (auto _ : state) {
        int count = 0;
        benchmark::DoNotOptimize(::ioctl(socket.fd(), FIONREAD, &count));
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_PacketLength_Kel);
BENCHMARK(BM_PacketLength_Ioctl);

const in_addr kAddress{htonl(0xC0A80A01)};

void BM_AddressText_Kel(benchmark::State& state)
{
    for (auto _ : state) {
        char* text = KelGetIPStr(kAddress);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
}
void BM_AddressText_InetNtop(benchmark::State& state)
{
    for (auto _ : state) {
        char* text = static_cast<char*>(std::malloc(16));
        benchmark::DoNotOptimize(::inet_ntop(AF_INET, &kAddress, text, 16));
        std::free(text);
    }
}
BENCHMARK(BM_AddressText_Kel);
BENCHMARK(BM_AddressText_InetNtop);

void BM_TextToAddress_Kel(benchmark::State& state)
{
    char text[] = "192.168.10.1";
    for (auto _ : state) {
        in_addr address;
        benchmark::DoNotOptimize(KelInetAtoN(text, &address));
        benchmark::DoNotOptimize(address);
    }
}
void BM_TextToAddress_InetAddr(benchmark::State& state)
{
    char text[] = "192.168.10.1";
    for (auto _ : state) {
        benchmark::DoNotOptimize(::inet_addr(text));
    }
}
BENCHMARK(BM_TextToAddress_Kel);
BENCHMARK(BM_TextToAddress_InetAddr);

unsigned char g_frame[64] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x08, 0x00};

void BM_EtherType_Kel(benchmark::State& state)
{
    for (auto _ : state) {
        CKelEtherHeader header(g_frame);
        benchmark::DoNotOptimize(header.KEHGetEtherType());
    }
}
void BM_EtherType_Frame(benchmark::State& state)
{
    for (auto _ : state) {
        std::uint16_t type;
        std::memcpy(&type, g_frame + 12, sizeof type);
        benchmark::DoNotOptimize(ntohs(type));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EtherType_Kel);
BENCHMARK(BM_EtherType_Frame);

}  // namespace
