// The 14-byte Ethernet header at the start of a raw frame: the object takes its own copy when
// it is built, and answers from that copy. Not exported from the library.
#pragma once

class CKelEtherHeader {
public:
    static const char EH_LENGTH = 6;     // bytes in one hardware address
    static const char EH_PKT_SIZE = 14;  // bytes in the header

    struct ether_hdr {
        unsigned char destaddr[EH_LENGTH];
        unsigned char sourceaddr[EH_LENGTH];
        unsigned short type;  // network byte order
    };

    // Reads exactly the first 14 bytes of the frame.
    explicit CKelEtherHeader(unsigned char* passedPacket);
    ~CKelEtherHeader();
    CKelEtherHeader() = delete;
    CKelEtherHeader(const CKelEtherHeader&) = delete;
    CKelEtherHeader& operator=(const CKelEtherHeader&) = delete;

    // The address as a 48-bit number, its first byte the most significant, sign-extended from
    // bit 47.
    long long KEHGetEtherDhost();
    long long KEHGetEtherShost();
    // New blocks, owned by the caller and released with free: 6 bytes of an address, or the
    // 14 bytes of the header, in frame order.
    unsigned char* KEHGetEtherDhostAsUCHAR();
    unsigned char* KEHGetEtherShostAsUCHAR();
    unsigned short KEHGetEtherType();
    unsigned char* KEHGetPacketHeader();

private:
    ether_hdr* m_ether_header;
};
