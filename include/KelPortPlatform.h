/// \file
/// The system's own records and types that the library's calls take and give: socket
/// addresses, host and protocol records, the time and directory records and the handle of a
/// loaded library; and the forms that mark names crossing the library's boundary. This is the
/// one public header that tells the systems apart; the others reach it through
/// KelPortExport.h.
#pragma once

#include <ctime>

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
#  include <windows.h>
// MinGW's directory records.
#  include <dirent.h>
#  define KELPORT_EXPORT __declspec(dllexport)
#  define KELPORT_IMPORT __declspec(dllimport)
#else
#  include <arpa/inet.h>
#  include <dirent.h>
#  include <netdb.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
/// The loader's handle of a loaded library, as Windows names it; a pointer on POSIX systems.
typedef void* HINSTANCE;
/// How a name that a library exports is marked where it is defined.
#  define KELPORT_EXPORT __attribute__((visibility("default")))
/// How a name that a library exports is marked where it is used.
#  define KELPORT_IMPORT __attribute__((visibility("default")))
#endif
