// The C interface between the window and its module talpor-instance.so, the one part of
// the program that links Qt Network: a second start asks the running instance, over a
// local socket, to bring its window forward. Loaded (dlopen) by the running instance once
// its window has painted, and by a second start at once: linked into the program, Qt
// Network and the Kerberos and proxy libraries it brings would be mapped at every start.
// Plain C types only, so that no exception and no C++ object crosses between the two.
#pragma once

extern "C" {

// The local server of the running instance.
struct TalporInstanceServer;

struct TalporInstanceFunctions {
    // kTalporInstanceVersion of the build the module comes from: a module of another
    // build is not used.
    int version;
    // Listens on the socket at `path` (what stands there is nobody's, as the caller holds
    // the single-instance lock: a socket or any other file left there is removed, a folder
    // removed when empty, else renamed aside as "PATH.apartado"); each start that asks runs
    // raise(context) on the calling thread's event loop, then gets its answer. Null when
    // it cannot listen.
    TalporInstanceServer* (*listen)(const char* path, void (*raise)(void* context), void* context);
    // Stops listening and removes the socket file.
    void (*close)(TalporInstanceServer* server);
    // Asks the instance listening at `path` to bring its window forward, trying again for
    // up to `waitMs` milliseconds while nobody listens there yet (an instance still
    // starting); 1 once it has answered, 0 when none did.
    int (*ask)(const char* path, int waitMs);
};

// The module's only exported symbol, kTalporInstanceEntry.
typedef const TalporInstanceFunctions* (*TalporInstanceEntry)(void);

}  // extern "C"

inline constexpr int kTalporInstanceVersion = 1;
inline constexpr const char* kTalporInstanceEntry = "talpor_instance_functions";
