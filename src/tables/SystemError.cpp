#include "tables/SystemError.h"

#include <cerrno>
#include <cstring>

namespace tables {

std::string SystemErrorText(int error) {
    switch (error) {
        case ENOENT: return "no existe";
        case EACCES:
        case EPERM: return "permiso denegado";
        case ENOTDIR: return "una parte de la ruta no es una carpeta";
        case EISDIR: return "es una carpeta";
        case ENOSPC: return "no queda espacio en el disco";
        case EDQUOT: return "cuota de disco agotada";
        case EFBIG: return "el fichero pasa del tamaño máximo permitido";
        case EROFS: return "sistema de archivos de solo lectura";
        case EIO: return "error de entrada/salida";
        case ENAMETOOLONG: return "nombre demasiado largo";
        case ELOOP: return "demasiados enlaces simbólicos";
        case EMFILE:
        case ENFILE: return "demasiados ficheros abiertos";
        case EXDEV: return "la carpeta está en otro sistema de archivos";
        case EPIPE: return "la tubería se ha cerrado";
        default: return std::strerror(error);
    }
}

}  // namespace tables
