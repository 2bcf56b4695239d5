// Reentrant forms of the protocol and host look-ups, of time formatting and of directory
// reading, with the signatures of the UNIX reentrant calls.
#pragma once

#include "KelPortExport.h"

// The open-directory record is the platform's own.
typedef DIR __dirdesc;

// Each look-up copies the platform's record, field by field, into result and returns result;
// the texts and lists its pointers reach stay the platform's, valid until this thread's next
// look-up of the same kind. Null when nothing is found; result is then left alone. The buffer,
// its length and h_errnop are accepted for the form's sake and never touched.
KELPORT_API protoent* KelGetProtoByName_r(const char* name, protoent* result, char* buffer, unsigned int buflen);
KELPORT_API hostent* KelGetHostByName_r(const char* name, hostent* result, char* buffer, int buflen,
                                        int* h_errnop);
KELPORT_API hostent* KelGetHostByAddr_r(const char* addr, int length, int type, hostent* result, char* buffer,
                                        int buflen, int* h_errnop);

// The time text written into buf_b, which must hold its 26 bytes (buflen_b is not looked at);
// buf_b, or null on failure.
KELPORT_API char* KelCTime_r(const long* clock_b, char* buf_b, int buflen_b);
// The time text in storage of the calling thread, overwritten by its next call; buf_b and
// buflen_b are not used.
KELPORT_API char* KelAscTime_r(const tm* clock_b, char* buf_b, int buflen_b);
// Not served: always null, and neither record is touched.
KELPORT_API dirent* KelReadDir_r(__dirdesc* p, dirent* de);
