#include "text/FieldLimits.h"

#include "num/Number.h"

namespace text {
namespace {

std::string MetresRange(double min, double max) {
    const num::Separators spanish;
    return "de " + num::Format(min, "#,##0", spanish) + " a " + num::Format(max, "#,##0", spanish) + " m";
}

}  // namespace

std::string LatitudeRangeText() {
    return "de " + std::to_string(kMinLatitude) + "º a " + std::to_string(kMaxLatitude) + "º N";
}

std::string LongitudeRangeText() {
    return "hasta " + std::to_string(kMaxWest) + "º W o " + std::to_string(kMaxEast) + "º E";
}

std::string EastingRangeText() { return MetresRange(kMinEasting, kMaxEasting); }
std::string NorthingRangeText() { return MetresRange(kMinNorthing, kMaxNorthing); }
std::string HeightRangeText() { return MetresRange(kMinHeight, kMaxHeight); }

}  // namespace text
