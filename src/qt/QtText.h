// The model's texts (UTF-8) as Qt's.
#pragma once

#include <QString>
#include <string_view>

namespace qt {

inline QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace qt
