#include "record/file_names.h"

#include <string_view>

namespace zx840 {
namespace {

// The longest type kept in a file name, in bytes: the name must stay under
// the usual limit of 255 bytes with the number, a suffix and the extension.
constexpr std::size_t kLongestTypeInName = 200;

}  // namespace

std::string ProductFileStem(const ProductMark& mark) {
    std::string type = mark.Type.empty() ? "ZX840" : mark.Type;
    if (type.size() > kLongestTypeInName) {
        std::size_t cut = kLongestTypeInName;
        while (cut > 0 && (static_cast<unsigned char>(type[cut]) & 0xC0) == 0x80) {
            --cut;  // not inside a UTF-8 sequence
        }
        type.resize(cut > 0 ? cut : kLongestTypeInName);
    }
    for (char& c : type) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    if (std::string_view(".- ").find(type[0]) != std::string_view::npos) {
        type[0] = '_';
    }
    return type + "_" + std::to_string(mark.Number);
}

std::optional<std::string> FirstFreeStem(const std::string& stem,
                                         const std::function<bool(const std::string&)>& taken) {
    for (int n = 1; n <= kMostSameNames; ++n) {
        std::string candidate = n == 1 ? stem : stem + "-" + std::to_string(n);
        if (!taken(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace zx840
