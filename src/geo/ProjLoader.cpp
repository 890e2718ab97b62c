#include "geo/ProjLoader.h"

#include <dlfcn.h>

#include <filesystem>

namespace geo::detail {
namespace {

namespace fs = std::filesystem;

// The module lies at the same place relative to the program's own file in the build
// tree and once installed, as the grids do: PREFIX/bin finds PREFIX/lib/talpor. Never
// relative to the current folder, and never through the library search path.
ProjModule Load() {
    ProjModule m;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    // Beside a program that lives among the modules (talpor-capas), else where they lie
    // from the programs' folder.
    std::string path = (self.parent_path() / "talpor-proj.so").string();
    if (std::error_code absent; !fs::is_regular_file(path, absent))
        path = (self.parent_path() / TALPOR_PROJ_MODULE_FROM_BIN).lexically_normal().string();
    if (error || !fs::is_regular_file(path, error)) {
        m.problem = "no se encuentra " + path + ", el módulo del programa que lee las rejillas.";
        return m;
    }
    dlerror();
    // Never closed: the grids opened through it last as long as the process.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = handle != nullptr
                           ? reinterpret_cast<TalporProjEntry>(dlsym(handle, kTalporProjEntry))
                           : nullptr;
    const TalporProjFunctions* functions = entry != nullptr ? entry() : nullptr;
    if (functions == nullptr || functions->version != kTalporProjVersion) {
        const char* why = dlerror();
        m.problem = "no se puede cargar " + path +
                    ", el módulo del programa que lee las rejillas" +
                    (why != nullptr ? std::string(" (") + why + ")." : std::string("."));
        if (handle != nullptr) dlclose(handle);
        return m;
    }
    m.functions = functions;
    return m;
}

}  // namespace

const ProjModule& Proj() {
    static const ProjModule module = Load();
    return module;
}

}  // namespace geo::detail
