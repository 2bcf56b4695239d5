// Process creation and identity.
#include "KelProcess.h"

#include "KelDebugBlock.h"
#include "KelOs.h"
#include "ju.h"

int KelFork()
{
    // Traced before the fork, so that the record is made once, by the parent.
    KEL_DEBUG(4, cout << "KelFork()" << std::endl);
    return ju::fork();
}

int KelGetPid()
{
    return kelport::os::GetPid();
}
