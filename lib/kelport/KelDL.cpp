// Dynamic library loading over the system's loader.
#include "KelDL.h"

#include "CKelError.h"
#include "KelDebugBlock.h"
#include "KelErrorDB.h"
#include "KelOs.h"

namespace {

// Report coordinates: fixed values that log readers match on, not places in this file.
const char kSource[] = "../KelDL";
constexpr int kLineOpen = 44;
constexpr int kLineSymbol = 171;

}  // namespace

HINSTANCE KelDLOpen(const char* sharedLibFileName, int)
{
    KEL_DEBUG(2, cout << "Inside KelDLOpen( " << sharedLibFileName << " ) " << std::endl);
    if (kelport::os::Library library = kelport::os::OpenLibrary(sharedLibFileName)) {
        KEL_DEBUG(2, cout << "KelDLOpen returning successfully" << std::endl);
        return static_cast<HINSTANCE>(library);
    }
    CKelError error(kelLibraryMissing, kSource, kLineOpen, "");
    return nullptr;
}

void* KelDLSym(HINSTANCE sharedLibHandle, const char* symbolName)
{
    KEL_DEBUG(2, cout << "Inside KelDLSym" << std::endl);
    if (void* address = kelport::os::FindSymbol(sharedLibHandle, symbolName)) {
        return address;
    }
    KEL_DEBUG(4, cout << "KelDLSym: missing symbol " << symbolName << std::endl);
    CKelError error(kelSymbolMissing, kSource, kLineSymbol, nullptr);
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
    kelport::os::CloseLibrary(sharedLibHandle);
    return 0;
}
