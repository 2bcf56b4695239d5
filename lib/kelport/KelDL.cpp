// Dynamic library loading over the platform's loader.
#include "KelDL.h"

#include "CKelError.h"
#include "KelDebugBlock.h"
#include "KelOs.h"

namespace {

const char kSource[] = "../KelDL";

}  // namespace

HINSTANCE KelDLOpen(const char* sharedLibFileName, int)
{
    KEL_DEBUG(2, cout << "Inside KelDLOpen( " << sharedLibFileName << " ) " << std::endl);
    if (HINSTANCE library = kelport::os::LoadLibrary(sharedLibFileName)) {
        KEL_DEBUG(2, cout << "KelDLOpen returning successfully" << std::endl);
        return library;
    }
    CKelError error(-220451, kSource, 44, "");
    return nullptr;
}

void* KelDLSym(HINSTANCE sharedLibHandle, const char* symbolName)
{
    KEL_DEBUG(2, cout << "Inside KelDLSym" << std::endl);
    if (void* address = kelport::os::FindSymbol(sharedLibHandle, symbolName)) {
        return address;
    }
    KEL_DEBUG(4, cout << "KelDLSym: missing symbol " << symbolName << std::endl);
    CKelError error(-220409, kSource, 171, nullptr);
    return nullptr;
}

char* KelDLError()
{
    return nullptr;
}

int KelDLClose(HINSTANCE sharedLibHandle)
{
    if (sharedLibHandle == nullptr) {
        return -1;
    }
    kelport::os::FreeLibrary(sharedLibHandle);
    return 0;
}
