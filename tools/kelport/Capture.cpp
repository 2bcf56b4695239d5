// The capture reader over libpcap.
#include "Capture.h"

#include <pcap/pcap.h>

#include "Commands.h"

namespace kelport::tool {

const bool kHasCaptureReader = true;

void ReadCapture(const std::string& file, const std::function<void(const unsigned char*, std::size_t)>& each)
{
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* capture = ::pcap_open_offline(file.c_str(), error);
    if (capture == nullptr) {
        // libpcap's reason names the file already.
        const std::string reason = error;
        const std::string named = file + ": ";
        throw UsageError("cannot read '" + file +
                         "': " + (reason.rfind(named, 0) == 0 ? reason.substr(named.size()) : reason));
    }
    if (::pcap_datalink(capture) != DLT_EN10MB) {
        ::pcap_close(capture);
        throw UsageError("'" + file + "' does not hold Ethernet frames");
    }
    pcap_pkthdr* record = nullptr;
    const unsigned char* frame = nullptr;
    while (::pcap_next_ex(capture, &record, &frame) == 1) {
        each(frame, record->caplen);
    }
    ::pcap_close(capture);
}

}  // namespace kelport::tool
