// The system's error numbers (errno) as short Spanish texts for the messages of the
// batch converter, whatever the locale of the process.
#pragma once

#include <string>

namespace batch {

// "no existe", "permiso denegado", "no es una carpeta", ...; strerror's text for the rare
// numbers without a Spanish one.
std::string SystemErrorText(int error);

}  // namespace batch
