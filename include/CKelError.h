/// \file
/// Reporting a catalogue error where it is detected.
#pragma once

#include "KelPortExport.h"

/// A report of one entry of the product's error catalogue, made at once by the constructor.
///
/// Construct a named local object with the error code, the source name and line, and an extra
/// text or null. By the code's severity the report is then traced and the caller goes on
/// (information: at debug level 4 or more; sick: at 1 or more), printed on standard error and
/// the process aborted (fatal, and any code the catalogue does not hold), or printed and the
/// process ended with exit status 1 (exit).
///
/// Example:
///
///     if (block == nullptr) {
///         CKelError error(-220553, "../MyModule", 42, nullptr);  // fatal: does not return
///     }
class KELPORT_API CKelError {
public:
    /// Reports at once; does not return for fatal, exit and unrecognised codes.
    /// \param err  the catalogue code, -220566 to -220403
    /// \param str  the reporting source's name, such as "../KelDL"; never null
    /// \param line its line; 0 or less for none
    /// \param msg  an extra text shown after the message, or null for none
    CKelError(int err, const char* str, int line, const char* msg);
    /// Does nothing: the report was made by the constructor.
    virtual ~CKelError();
    /// Copies nothing: the object holds no state.
    CKelError& operator=(const CKelError& other);

protected:
    /// Makes the report of the constructor, with the same arguments.
    void KEHandleError(int err, const char* at, int line, const char* msg);
};
