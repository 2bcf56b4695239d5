// What the system-information module offers inside the library only.
#pragma once

// The host name in a block of exactly its length and terminator, which the caller frees;
// null when the name cannot be had.
char* KelGetHostName();
