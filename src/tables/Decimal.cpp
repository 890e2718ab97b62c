#include "tables/Decimal.h"

#include "num/Number.h"

namespace tables {

double Round(double x, int decimals) { return num::RoundFew(x, decimals); }

void AppendRounded(std::string& out, double x, int decimals, char decimalSign) {
    num::AppendRounded(out, x, decimals, std::string_view(&decimalSign, 1));
}

}  // namespace tables
