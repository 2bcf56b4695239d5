// Reporting a catalogue error where it is detected. Construct a named local CKelError with
// the error code, the source name and line, and an extra text or null: the report is made at
// once, and by the code's severity the caller goes on (information, sick), the process
// aborts (fatal, or a code the catalogue does not hold) or it exits with status 1 (exit).
#pragma once

#include "KelPortExport.h"

class KELPORT_API CKelError {
public:
    CKelError(int err, const char* str, int line, const char* msg);
    virtual ~CKelError();
    CKelError& operator=(const CKelError& other);

protected:
    void KEHandleError(int err, const char* at, int line, const char* msg);
};
