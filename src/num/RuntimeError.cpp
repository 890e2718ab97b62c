#include "num/RuntimeError.h"

namespace num {

namespace {

std::string WhatText(const std::string& description, const std::string& detail) {
    std::string what = description;
    if (!detail.empty()) {
        what += " (";
        what += detail;
        what += ')';
    }
    return what;
}

}  // namespace

RuntimeError::RuntimeError(int number, std::string description, std::string detail)
    : std::runtime_error(WhatText(description, detail)),
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
