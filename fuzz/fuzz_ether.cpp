// CKelEtherHeader against a decoding of the frame written here, on frames of 14 to 64 bytes
// held in blocks of exactly their size, so that a read past the header is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>

#include "CKelEtherHeader.h"
#include "Fail.h"

namespace {

long long Address(const std::uint8_t* bytes)
{
    long long value = (bytes[0] & 0x80) != 0 ? -1 : 0;
    for (int i = 0; i < 6; ++i) {
        value = static_cast<long long>(static_cast<unsigned long long>(value) << 8 | bytes[i]);
    }
    return value;
}

bool SameBlock(unsigned char* block, const std::uint8_t* expected, std::size_t size)
{
    const bool same = std::memcmp(block, expected, size) == 0;
    std::free(block);
    return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 14 || size > 64) {
        return 0;
    }
    const auto frame = std::make_unique<unsigned char[]>(size);
    std::memcpy(frame.get(), data, size);
    CKelEtherHeader header(frame.get());
    std::memset(frame.get(), 0xEE, size);  // the object answers from its own copy

    Answer(std::to_string(header.KEHGetEtherDhost()) + " " + std::to_string(header.KEHGetEtherShost()) + " " +
           std::to_string(header.KEHGetEtherType()));
    const bool right = header.KEHGetEtherDhost() == Address(data) &&
                       header.KEHGetEtherShost() == Address(data + 6) &&
                       header.KEHGetEtherType() == (data[12] << 8 | data[13]) &&
                       SameBlock(header.KEHGetEtherDhostAsUCHAR(), data, 6) &&
                       SameBlock(header.KEHGetEtherShostAsUCHAR(), data + 6, 6) &&
                       SameBlock(header.KEHGetPacketHeader(), data, 14);
    // Each call hands out a block of its own, which the caller frees.
    unsigned char* first = header.KEHGetPacketHeader();
    unsigned char* second = header.KEHGetPacketHeader();
    const bool fresh = first != second;
    std::free(second);
    if (!right || !fresh || !SameBlock(first, data, 14)) {
        Fail("CKelEtherHeader differs from the frame");
    }
    return 0;
}
