#include <dlfcn.h>

// The GL driver is loaded and unloaded behind our back; once unloaded, the few allocations it
// keeps for the life of the process show up as leaks with no name to suppress them by. Keeping
// it loaded lets the suppressions below name it.
namespace {
struct DriverPreload {
    DriverPreload() {
        const char* libraries[] = {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"};
        for (const char* name : libraries) {
            dlopen(name, RTLD_LAZY | RTLD_GLOBAL | RTLD_NODELETE);
        }
    }
} localPreload;
} // namespace
