#include "num/RuntimeError.h"

namespace num {

RuntimeError::RuntimeError(int number, std::string description, std::string detail)
    : std::runtime_error(description + (detail.empty() ? "" : " (" + detail + ")")),
      number_(number),
      description_(std::move(description)),
      detail_(std::move(detail)) {}

RuntimeError Overflow(std::string detail) {
    return RuntimeError(RuntimeError::kOverflow, "Desbordamiento", std::move(detail));
}

RuntimeError DivisionByZero(std::string detail) {
    return RuntimeError(RuntimeError::kDivisionByZero, "División por cero", std::move(detail));
}

RuntimeError InvalidCall(std::string detail) {
    return RuntimeError(RuntimeError::kInvalidCall,
                        "Llamada a procedimiento o argumento no válidos", std::move(detail));
}

}  // namespace num
