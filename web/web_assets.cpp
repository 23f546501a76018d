#include <QFile>

#include "web/web_server.h"

namespace zx840 {
namespace {

// Debian's libjs-chart.js; the first file there is taken.
constexpr const char* kChartJs[] = {
    "/usr/share/javascript/chart.js/chart.min.js",
    "/usr/share/javascript/chart.js/chart.umd.js",
    "/usr/share/javascript/chart.js/Chart.min.js",
};

std::optional<std::string> Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll().toStdString();
}

}  // namespace

std::optional<std::string> WebAsset(const std::string& name) {
    if (name == "web.css" || name == "web.js") {
        return Read(":/web/" + QString::fromStdString(name));
    }
    if (name == "chart.js") {
        for (const char* path : kChartJs) {
            if (auto text = Read(QString::fromUtf8(path))) {
                return text;
            }
        }
    }
    return std::nullopt;
}

}  // namespace zx840
