#include "host/SystemCalls.h"

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE instance, DWORD reason,
                                                               LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return 1;
}
