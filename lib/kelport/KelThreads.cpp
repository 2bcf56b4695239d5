// The thread-count limit: on this platform every request is granted.
#include "KelThreads.h"

#include "KelDebugBlock.h"

namespace {

// Report coordinates: fixed values that log readers match on, not places in this file.
const char kSource[] = "../KelThreads";
constexpr int kLineRequest = 65;
constexpr int kLineGranted = 124;

}  // namespace

int KelMaxThreads(int maxThrs_)
{
    KEL_DEBUG(4, cout << kSource << ':' << kLineRequest << " KelMaxThreads -w- request = " << maxThrs_
                      << std::endl);
    const int granted = maxThrs_;
    KEL_DEBUG(4, cout << kSource << ':' << kLineGranted << " Returning value of " << granted << std::endl);
    return granted;
}
