#include "record/product_mark.h"

#include <cstdio>

namespace zx840 {

std::string FormatTestday(const std::tm& date) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d-%02d-%02d", (date.tm_year + 1900) % 100, date.tm_mon + 1,
                  date.tm_mday);
    return text;
}

std::string TodayTestday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatTestday(local);
}

}  // namespace zx840
