// Reentrant look-ups, time texts and directory reading.
#include "KelReentrant.h"

#include "KelDebugBlock.h"
#include "ju.h"

namespace {

// The platform's record belongs to the calling thread, so it can be copied out unlocked.
template <typename Record>
Record* CopyInto(Record* result, const Record* found)
{
    if (found == nullptr) {
        return nullptr;
    }
    *result = *found;
    return result;
}

}  // namespace

protoent* KelGetProtoByName_r(const char* name, protoent* result, char*, unsigned int)
{
    KEL_DEBUG(4, cout << "KelGetProtoByName_r" << std::endl);
    return CopyInto(result, ju::getprotobyname_new(name));
}

hostent* KelGetHostByName_r(const char* name, hostent* result, char*, int, int*)
{
    KEL_DEBUG(4, cout << "KelGetHostByName_r()" << std::endl);
    return CopyInto(result, ju::gethostbyname_new(name));
}

hostent* KelGetHostByAddr_r(const char* addr, int length, int type, hostent* result, char*, int, int*)
{
    KEL_DEBUG(4, cout << "*KelGetHostByAddr_r()" << std::endl);
    return CopyInto(result, ju::gethostbyaddr_new(addr, length, type));
}

char* KelCTime_r(const long* clock_b, char* buf_b, int)
{
    KEL_DEBUG(4, cout << "KelCTime_r()" << std::endl);
    return ju::ctime_r(clock_b, buf_b);
}

char* KelAscTime_r(const tm* clock_b, char*, int)
{
    KEL_DEBUG(4, cout << "KelAscTime_r()" << std::endl);
    return ju::asctime(clock_b);
}

dirent* KelReadDir_r(__dirdesc*, dirent*)
{
    return nullptr;
}
