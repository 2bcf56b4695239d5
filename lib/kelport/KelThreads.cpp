// The thread-count limit: on this platform every request is granted.
#include "KelThreads.h"

#include "KelDebugBlock.h"

namespace {

const char kSource[] = "../KelThreads";

}  // namespace

int KelMaxThreads(int maxThrs_)
{
    KEL_DEBUG(4, cout << kSource << ':' << 65 << " KelMaxThreads -w- request = " << maxThrs_ << std::endl);
    const int granted = maxThrs_;
    KEL_DEBUG(4, cout << kSource << ':' << 124 << " Returning value of " << granted << std::endl);
    return granted;
}
