// The library's entry point on Windows. By the time the loader calls it at process attach,
// the runtime has set up the standard streams and built the trace objects; at process
// detach it runs before they are destroyed, in the reverse order.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE library, DWORD reason, LPVOID)
{
    // The library keeps nothing per thread, so it asks for no thread notifications. With
    // MinGW-w64 the request is always refused: every DLL it links has a TLS directory (its
    // runtime's), and Windows keeps sending notifications to such a DLL. The library asks all
    // the same, and does nothing on them.
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(library);
    }
    return TRUE;
}
