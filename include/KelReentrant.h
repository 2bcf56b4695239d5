/// \file
/// Reentrant forms of the protocol and host look-ups, of time formatting and of directory
/// reading, with the signatures of the UNIX reentrant calls.
#pragma once

#include "KelPortExport.h"

/// The open-directory record: the system's own (what opendir gives).
typedef DIR __dirdesc;

/// Looks up a protocol by name ("tcp") and copies the system's record, field by field, into
/// \p result, which it returns. The texts and lists that the record's pointers reach stay the
/// system's, valid until this thread's next look-up of the same kind: copy them to keep them.
/// Null when there is no such protocol; \p result is then left alone. \p buffer and \p buflen
/// are accepted for the form's sake and never touched.
KELPORT_API protoent* KelGetProtoByName_r(const char* name, protoent* result, char* buffer,
                                          unsigned int buflen);
/// Looks up a host by name, as KelGetProtoByName_r does a protocol; \p h_errnop is never
/// touched either.
KELPORT_API hostent* KelGetHostByName_r(const char* name, hostent* result, char* buffer, int buflen,
                                        int* h_errnop);
/// Looks up a host by address: \p length bytes of \p type (AF_INET) in network byte order.
KELPORT_API hostent* KelGetHostByAddr_r(const char* addr, int length, int type, hostent* result, char* buffer,
                                        int buflen, int* h_errnop);

/// Writes the time text ("Thu Jan  1 00:00:00 1970\n") of \p clock_b into \p buf_b, which must
/// hold its 26 bytes (\p buflen_b is not looked at). \p buf_b, or null on failure.
KELPORT_API char* KelCTime_r(const long* clock_b, char* buf_b, int buflen_b);
/// The time text of a broken-down time, in storage of the calling thread that its next call
/// overwrites; \p buf_b and \p buflen_b are not used.
KELPORT_API char* KelAscTime_r(const tm* clock_b, char* buf_b, int buflen_b);
/// Not served: always null, and neither record is touched.
KELPORT_API dirent* KelReadDir_r(__dirdesc* p, dirent* de);
