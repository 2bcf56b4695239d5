// What the emulation's portable part (ju.cpp) asks of each system's part.
#pragma once

#include <cstddef>

namespace ju::system {

// The system's own message for errnum; the text is never freed, and a thread's text is not
// overwritten by another thread's call.
const char* Message(int errnum);

// The host name, terminated, in size bytes at most: 0, or -1 with errno set.
int HostName(char* buf, std::size_t size);

}  // namespace ju::system
