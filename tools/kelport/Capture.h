// Frames of a capture file, read with libpcap. A build without libpcap (one for another
// system or width than the build machine's) has no reader.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kelport::tool {

extern const bool kHasCaptureReader;

// Hands each frame of an Ethernet capture file to each, in order, with the bytes captured of
// it. Throws UsageError when the file cannot be read, holds no Ethernet frames, or there is
// no reader.
void ReadCapture(const std::string& file, const std::function<void(const unsigned char*, std::size_t)>& each);

}  // namespace kelport::tool
