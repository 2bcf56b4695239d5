// The error catalogue and the handler that reports by severity.
#include "CKelError.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "KelDebugBlock.h"
#include "KelErrorDB.h"

const __errstruct kelErrorDB[kelErrorCount] = {
    {-220566, E_KESFatal, "Duplicate Object Upon Insertion"},
    {-220565, E_KESSick, "Key inserted at existing node"},
    {-220564, E_KESFatal, "Recursion failed"},
    {-220563, E_KESFatal, "Invalid operation on empty tree"},
    {-220562, E_KESFatal, "Search condition is Nil object"},
    {-220561, E_KESSick, "Delete is ambiguous - potential data corruption"},
    {-220560, E_KESInfo, "Node not found"},
    {-220559, E_KESFatal, "Pointers to some data corrupt"},
    {-220558, E_KESInfo, "Object Tree is empty"},
    {-220557, E_KESSick, "Node has children - cannot kill"},
    {-220556, E_KESFatal, "Missing node ????"},
    {-220555, E_KESSick, "Unexpected subtree exception"},
    {-220554, E_KESFatal, "Tree corruption - duplicate parent"},
    {-220553, E_KESFatal, "Malloc failure - out of memory"},
    {-220552, E_KESFatal, "Undefined object (nil) invalid operation"},
    {-220551, E_KESSick, "Syntax error - parse failure"},
    {-220550, E_KESExit, "Invalid file name - file not found"},
    {-220549, E_KESExit, "Permission denied to file"},
    {-220548, E_KESFatal, "Hash table unitialised"},
    {-220547, E_KESInfo, "Search unsuccessful"},
    {-220546, E_KESFatal, "Garbled Query"},
    {-220545, E_KESSick, "Failed to send on transport layer"},
    {-220544, E_KESFatal, "Network transport dead"},
    {-220543, E_KESFatal, "I/O listen innaccessible"},
    {-220542, E_KESFatal, "Subject Addressing failed"},
    {-220541, E_KESFatal, "Network packet generation failed"},
    {-220540, E_KESFatal, "Configuration database not present"},
    {-220539, E_KESSick, "Unresolveable object"},
    {-220538, E_KESFatal, "Stack overrun"},
    {-220537, E_KESFatal, "Mutex creation failed"},
    {-220536, E_KESFatal, "Invalid operation on object"},
    {-220535, E_KESFatal, "Failed to signal threads"},
    {-220534, E_KESSick, "ICMP packet failure"},
    {-220533, E_KESFatal, "Divide by zero!!"},
    {-220532, E_KESSick, "Type Mismatch in compare"},
    {-220531, E_KESFatal, "Failure to access snmp socket"},
    {-220530, E_KESSick, "Failure to encode asn.1"},
    {-220529, E_KESSick, "Failure to decode asn.1"},
    {-220528, E_KESSick, "Incorrect SNMP version packet"},
    {-220527, E_KESFatal, "QEVA has an inconsistent store .. definitely trouble at t'mill"},
    {-220526, E_KESInfo, "Attempt to inject event with incomplete core"},
    {-220525, E_KESInfo, "Attempt to inject event with incorrect value syntax"},
    {-220524, E_KESFatal, "Cannot cast atomic value from parsed to stored !"},
    {-220523, E_KESFatal, "Core Database is corrupt aborting ."},
    {-220522, E_KESSick, "Rule implements undefined varbind"},
    {-220521, E_KESFatal, "Invalid type reference in rule segment"},
    {-220520, E_KESInfo, "Attempt to add VDB past QEVA size constraint"},
    {-220519, E_KESInfo, "Protocol not found"},
    {-220518, E_KESFatal, "Could not open socket"},
    {-220517, E_KESInfo, "Sendto failed"},
    {-220516, E_KESInfo, "Socket select failed"},
    {-220515, E_KESInfo, "Receive from failed"},
    {-220514, E_KESInfo, "Failed to hash object"},
    {-220513, E_KESFatal, "Malformed network number"},
    {-220512, E_KESInfo, "IP Address must be of the form a.b.c.d"},
    {-220511, E_KESInfo, "Received incorrect protocol"},
    {-220510, E_KESInfo, "Permission denied - insufficient privileges"},
    {-220509, E_KESFatal, "Failed to connect to sybase server"},
    {-220508, E_KESSick, "Failed to send data to sybase server"},
    {-220507, E_KESSick, "Session to clarify server failed"},
    {-220506, E_KESSick, "Error on closing clarify session"},
    {-220505, E_KESSick, "Communication loss to clarify server"},
    {-220504, E_KESSick, "Session to remedy server failed"},
    {-220503, E_KESFatal, "Fatal error while parsing"},
    {-220502, E_KESInfo, "error while parsing"},
    {-220501, E_KESInfo, "Non-existent rule"},
    {-220500, E_KESFatal, "Invalid IP or bad data in KelNameDB"},
    {-220499, E_KESInfo, "Cannot include a parent in sub-menus"},
    {-220498, E_KESInfo, "Invalid sub-net mask"},
    {-220497, E_KESInfo, "Unrecognised field name"},
    {-220496, E_KESSick, "Attempt to initialise object with (nil) argument"},
    {-220495, E_KESSick, "Bad return value from library function."},
    {-220494, E_KESFatal, "General failure of Vusk layer"},
    {-220493, E_KESFatal, "Record cache full.  Max number of objects is LLONG_MAX"},
    {-220492, E_KESExit, "Error writing to file."},
    {-220491, E_KESExit, "Error reading from file."},
    {-220490, E_KESFatal, "Unable to initialise condition."},
    {-220489, E_KESFatal, "Unable to initialise mutex."},
    {-220488, E_KESFatal, "Unable to destroy condition."},
    {-220487, E_KESFatal, "Unable to destroy mutex."},
    {-220486, E_KESFatal, "Condition Timed wait failed."},
    {-220485, E_KESFatal, "Condition wait failed."},
    {-220484, E_KESFatal, "Unable to lock mutex."},
    {-220483, E_KESFatal, "Unable to unlock mutex."},
    {-220482, E_KESInfo, "Mutex busy KTTryLock failed."},
    {-220481, E_KESFatal, "Broadcast on condition failed."},
    {-220480, E_KESFatal, "Signal on condition failed."},
    {-220479, E_KESFatal, "Unable to detach thread."},
    {-220478, E_KESFatal, "Unable to join thread."},
    {-220477, E_KESInfo, "Time on thread wait condition expired."},
    {-220476, E_KESInfo, "Non-fatal failure in OQL syntax"},
    {-220475, E_KESInfo, "Non-fatal failure in ASN1 syntax"},
    {-220474, E_KESInfo, "Duplicate value in ASN1 syntax"},
    {-220473, E_KESInfo, "Value out of bounds in ASN1 checking"},
    {-220472, E_KESExit, "Fatal X/Motif error"},
    {-220471, E_KESInfo, "X/Motif error"},
    {-220470, E_KESInfo, "Attempt to cache a non-cacheable object"},
    {-220469, E_KESExit, "Exit function called"},
    {-220468, E_KESSick, "Unresolved fault rule reference in active object langauge"},
    {-220467, E_KESSick, "Unresolved class reference"},
    {-220466, E_KESFatal, "Array out of bounds"},
    {-220465, E_KESInfo, "Attempt to connect to server failed"},
    {-220464, E_KESInfo, "Server address is not valid"},
    {-220463, E_KESInfo, "Server name is not valid"},
    {-220462, E_KESInfo, "Engine already has a type."},
    {-220461, E_KESInfo, "Attempt to set a socket option failed."},
    {-220460, E_KESInfo, "Attempt to bind a socket failed."},
    {-220459, E_KESInfo, "Given socket descriptor is invalid."},
    {-220458, E_KESInfo, "Given address is not multicast."},
    {-220457, E_KESInfo, "Internal socket control data invalid."},
    {-220456, E_KESInfo, "The file locking failed."},
    {-220455, E_KESInfo, "Multiple occurrences of the same client Id detected."},
    {-220454, E_KESInfo, "Multiple occurrences of the same Server detected."},
    {-220453, E_KESInfo, "Helper reply data corrupt."},
    {-220452, E_KESInfo, "File is currently unavailable."},
    {-220451, E_KESSick, "A required dynamic library file is missing."},
    {-220450, E_KESSick, "A Discovery Agent definition file could not be found."},
    {-220449, E_KESSick, "A Discovery Stitcher definition filecould not be found."},
    {-220448, E_KESSick, "A required stitcher symbol does not exist."},
    {-220447, E_KESFatal, "Ioctl failed for function call"},
    {-220446, E_KESSick, "Ioctl failed to resolve function"},
    {-220445, E_KESFatal, "Struct ifreq could not be created"},
    {-220444, E_KESFatal, "Struct sockaddr could not be created"},
    {-220443, E_KESFatal, "Struct inaddr could not be created"},
    {-220442, E_KESInfo, "Invalid subnet address."},
    {-220441, E_KESInfo, "Invalid IP address."},
    {-220440, E_KESFatal, "A generic fatal error has occured"},
    {-220439, E_KESSick, "A generic non-fatal error has occured"},
    {-220438, E_KESSick, "A process that is required could not be started."},
    {-220437, E_KESInfo, "The supplied record did not pass thgrough the filter."},
    {-220436, E_KESSick, "kel_ctrl could not run the requested service."},
    {-220435, E_KESExit, "Input is not being received from a terminal."},
    {-220434, E_KESExit, "A required command line argument has not been supplied."},
    {-220433, E_KESSick, "Value does not match a known enumerated type."},
    {-220432, E_KESSick, "A generic non-fatal initialisation error has occured."},
    {-220431, E_KESSick, "An indexed field is missing from the row."},
    {-220430, E_KESExit, "Code is being run on an unknown operating system."},
    {-220429, E_KESSick, "The following stitcher rule failed to complete correctly."},
    {-220428, E_KESSick, "The database insert was invalid."},
    {-220427, E_KESInfo, "The table pre-insert callback has rejected the insert."},
    {-220426, E_KESSick, "Rendezvous method called from incorrect thread."},
    {-220425, E_KESInfo, "The database already exists within the store."},
    {-220424, E_KESInfo, "The table already exists within the database."},
    {-220423, E_KESInfo, "Class record has invalid format. It will be ignored."},
    {-220422, E_KESFatal, "A critical argument is missing. "},
    {-220421, E_KESFatal, "A critical argument is invalid."},
    {-220420, E_KESSick, "An argument is missing. "},
    {-220419, E_KESSick, "An argument is invalid."},
    {-220418, E_KESSick, "A variable has an unexpected value"},
    {-220417, E_KESSick, "KelPriv was unable to increase privileges."},
    {-220416, E_KESSick, "KelPriv was unable to relinquish privileges."},
    {-220415, E_KESInfo, "KAPrivSystemHigh called, but already running privileged."},
    {-220414, E_KESInfo, "KAPrivSystemLow called, but already running with limited privileges."},
    {-220413, E_KESSick, "The old symbol value is being overriden."},
    {-220412, E_KESSick, "The named symbol is missing."},
    {-220411, E_KESSick, "The defined symbol is broken."},
    {-220410, E_KESSick, "The message code is invalid"},
    {-220409, E_KESSick, "The requested symbol does not exist within the dynamic library."},
    {-220408, E_KESSick, "An error was encountered whilst setting the path. "},
    {-220407, E_KESSick, "An error was encountered whilst building the service from the database record. "},
    {-220406, E_KESInfo, "Waiting to connect to parent process."},
    {-220405, E_KESInfo, "Helper reply data empty."},
    {-220404, E_KESFatal, "A critical bus error occurred."},
    {-220403, E_KESSick, "A bus error occurred."},
};

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
