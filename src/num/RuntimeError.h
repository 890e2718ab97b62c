// Run-time errors of Talpor: one exception type with the error number and its
// Spanish description, raised wherever an arithmetic or range failure must reach
// the caller instead of a non-finite or truncated number.
#pragma once

#include <stdexcept>
#include <string>

namespace num {

class RuntimeError : public std::runtime_error {
public:
    // Error numbers the system raises.
    static constexpr int kInvalidCall = 5;     // "Llamada a procedimiento o argumento no válidos"
    static constexpr int kOverflow = 6;        // "Desbordamiento"
    static constexpr int kDivisionByZero = 11; // "División por cero"

    RuntimeError(int number, std::string description, std::string detail = {});

    int Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    // What failed, for developers and logs (may be empty); never shown as the description.
    const std::string& Detail() const noexcept { return detail_; }

private:
    int number_;
    std::string description_;
    std::string detail_;
};

// Factories with the system's descriptions; `detail` names the failing value.
[[nodiscard]] RuntimeError Overflow(std::string detail = {});
[[nodiscard]] RuntimeError DivisionByZero(std::string detail = {});
[[nodiscard]] RuntimeError InvalidCall(std::string detail = {});

}  // namespace num
