// The system's error numbers (errno) as short Spanish texts for the messages of the
// batch converter, whatever the locale of the process.
#pragma once

#include <sys/stat.h>

#include <string>

namespace tables {

// "no existe", "permiso denegado", "no es una carpeta", ...; strerror's text for the rare
// numbers without a Spanish one.
std::string SystemErrorText(int error);

// What a file that is not a regular one is, by its stat mode, for a message: "un
// dispositivo", "una tubería (FIFO)", ...
inline std::string FileKindText(mode_t mode) {
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "un dispositivo";
    if (S_ISFIFO(mode)) return "una tubería (FIFO)";
    if (S_ISSOCK(mode)) return "un socket";
    if (S_ISDIR(mode)) return "una carpeta";
    return "un fichero especial";
}

}  // namespace tables
