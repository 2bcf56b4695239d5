// The error handler: a catalogue code reported by its severity.
#include "CKelError.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "KelDebugBlock.h"
#include "KelErrorDB.h"

namespace {

// Into a trace block's stream for reports that are traced, into a string stream for those
// that end the process.
template <typename Stream>
void WriteReport(Stream& out, const char* prefix, const __errstruct& entry, const char* at, int line,
                 const char* msg, const char* ending)
{
    out << prefix << entry.S_Errstring << " in " << at;
    if (line > 0) {
        out << " at line " << line;
    }
    if (msg != nullptr) {
        out << ".\n" << msg;
    }
    out << ending;
}

// One write, so that a report is not split by another thread's output.
[[noreturn]] void EndProcess(const std::ostringstream& report, bool abnormally)
{
    std::cerr << report.str() << std::flush;
    if (abnormally) {
        std::abort();
    }
    std::exit(1);
}

// Fatal and exit reports: always on standard error, then the end of the process.
[[noreturn]] void ReportAndEnd(const char* prefix, const __errstruct& entry, const char* at, int line,
                               const char* msg, const char* ending, bool abnormally)
{
    std::ostringstream report;
    WriteReport(report, prefix, entry, at, line, msg, ending);
    EndProcess(report, abnormally);
}

}  // namespace

CKelError::CKelError(int err, const char* str, int line, const char* msg)
{
    KEHandleError(err, str, line, msg);
}

CKelError::~CKelError() = default;

CKelError& CKelError::operator=(const CKelError&)
{
    return *this;
}

void CKelError::KEHandleError(int err, const char* at, int line, const char* msg)
{
    if (err < kelFirstErrorCode || err > kelLastErrorCode) {
        std::ostringstream report;
        report << "Error unrecognised aborting...\n"
               << "Error code is " << err << '\n'
               << "In file " << at << " at line " << line << '\n';
        EndProcess(report, true);
    }
    const __errstruct& entry = kelErrorDB[err - kelFirstErrorCode];
    switch (entry.S_Level) {
    case E_KESInfo:
        KEL_DEBUG(4, WriteReport(cerr, "Be aware : ", entry, at, line, msg, "\n"));
        return;
    case E_KESSick:
        KEL_DEBUG(1, WriteReport(cerr, "Possible threat to execution : ", entry, at, line, msg, "\n"));
        return;
    case E_KESFatal:
        ReportAndEnd("Fatal warning : ", entry, at, line, msg, " Aborting ......\n", true);
    case E_KESExit:
        ReportAndEnd("Termination : ", entry, at, line, msg, "\n", false);
    }
}
