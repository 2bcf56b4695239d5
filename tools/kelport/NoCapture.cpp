// A build without libpcap: the capture reader is not in it.
#include "Capture.h"

#include "Commands.h"

namespace kelport::tool {

const bool kHasCaptureReader = false;

void ReadCapture(const std::string&, const std::function<void(const unsigned char*, std::size_t)>&)
{
    throw UsageError("this kelport was built without libpcap: it cannot read capture files");
}

}  // namespace kelport::tool
