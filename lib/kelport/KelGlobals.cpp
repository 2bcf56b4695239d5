// Settings held for the library's callers, and the build's identity.
#include "KelGlobals.h"

#include "KelGlobalsInternal.h"
#include "KelPortVersion.h"

int g_OqlUse = 1;
char* g_OdbcUse = nullptr;
char* g_OqlLog = nullptr;

const char kelBuildIdent[] = "@(#) KelPort " KELPORT_VERSION_STRING " " KELPORT_BUILD_TARGET;

const char* _JUgetURL_OS()
{
    return "NT";
}

int _JUgetConsolidatedPatchNum()
{
    return 0;
}
