// The Ethernet header accessor.
#include "CKelEtherHeader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "CKelError.h"
#include "KelDebugBlock.h"
#include "KelErrorDB.h"
#include "KelPortPlatform.h"

static_assert(sizeof(CKelEtherHeader::ether_hdr) == CKelEtherHeader::EH_PKT_SIZE, "the header has no gaps");

namespace {

// Report coordinates: fixed values that log readers match on, not places in this file.
const char kSource[] = "../CKelEtherHeader";
constexpr int kLineHeader = 135;
constexpr int kLineSourceAddress = 343;
constexpr int kLineDestinationAddress = 403;
constexpr int kLinePacketHeader = 463;

// A copy of size bytes from the header in a new block; out of memory is fatal, reported
// from line.
unsigned char* NewBlock(const void* from, std::size_t size, int line)
{
    auto* block = static_cast<unsigned char*>(std::malloc(size));
    if (block == nullptr) {
        CKelError error(kelOutOfMemory, kSource, line, nullptr);
        return nullptr;  // not reached: the report ends the process
    }
    std::memcpy(block, from, size);
    return block;
}

// The first byte is the most significant; bits 63 to 48 repeat bit 47, whatever the
// processor's byte order.
long long AddressNumber(const unsigned char (&address)[CKelEtherHeader::EH_LENGTH])
{
    std::uint64_t value = 0;
    for (const unsigned char byte : address) {
        value = value << 8 | byte;
    }
    if ((address[0] & 0x80) != 0) {
        value |= 0xFFFF000000000000ULL;
    }
    return static_cast<long long>(value);
}

}  // namespace

CKelEtherHeader::CKelEtherHeader(unsigned char* passedPacket)
{
    KEL_DEBUG(4, cout << "CKelEtherHeader::CKelEtherHeader" << std::endl);
    m_ether_header = reinterpret_cast<ether_hdr*>(NewBlock(passedPacket, EH_PKT_SIZE, kLineHeader));
}

CKelEtherHeader::~CKelEtherHeader()
{
    KEL_DEBUG(4, cout << "CKelEtherHeader Destructor!" << std::endl);
    if (m_ether_header != nullptr) {
        std::free(m_ether_header);
        m_ether_header = nullptr;
    }
}

long long CKelEtherHeader::KEHGetEtherDhost()
{
    KEL_DEBUG(4, cout << "CKelEtherHeader::KEHGetEtherDhost" << std::endl);
    KEL_DEBUG(2, cout << "CKelEtherHeader::KEHGetEtherDhost - Morix" << std::endl);
    return AddressNumber(m_ether_header->destaddr);
}

long long CKelEtherHeader::KEHGetEtherShost()
{
    KEL_DEBUG(4, cout << "CKelEtherHeader::KEHGetEtherShost" << std::endl);
    KEL_DEBUG(2, cout << "CKelEtherHeader::KEHGetEtherShost - Morix" << std::endl);
    return AddressNumber(m_ether_header->sourceaddr);
}

unsigned char* CKelEtherHeader::KEHGetEtherShostAsUCHAR()
{
    KEL_DEBUG(4, cout << "*CKelEtherHeader::KEHGetEtherShostAsUCHAR" << std::endl);
    return NewBlock(m_ether_header->sourceaddr, EH_LENGTH, kLineSourceAddress);
}

unsigned char* CKelEtherHeader::KEHGetEtherDhostAsUCHAR()
{
    KEL_DEBUG(4, cout << "CKelEtherHeader::KEHGetEtherDhostAsUCHAR()" << std::endl);
    return NewBlock(m_ether_header->destaddr, EH_LENGTH, kLineDestinationAddress);
}

unsigned char* CKelEtherHeader::KEHGetPacketHeader()
{
    KEL_DEBUG(4, cout << "CKelEtherHeader::KEHGetPacketHeader()" << std::endl);
    return NewBlock(m_ether_header, EH_PKT_SIZE, kLinePacketHeader);
}

unsigned short CKelEtherHeader::KEHGetEtherType()
{
    KEL_DEBUG(4, cout << "u_short CKelEtherHeader::KEHGetEtherType( void )" << std::endl);
    KEL_DEBUG(4, cout << "CKelEtherHeader::KEHGetEtherType = " << ntohs(m_ether_header->type) << std::endl);
    return ntohs(m_ether_header->type);
}
