// The model's texts (UTF-8) as Qt's, and the files a drag carries as the model's paths.
#pragma once

#include <QMimeData>
#include <QString>
#include <QUrl>
#include <string>
#include <string_view>
#include <vector>

namespace qt {

inline QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The local files and folders a drag carries; none when it carries anything else too.
inline std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

}  // namespace qt
