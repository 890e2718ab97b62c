#include "tables/Run.h"

namespace batch {

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, '.');
    return digits;
}

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
    return Grouped(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace batch
