// Text made of pieces one after the other, built up with += rather than a
// chain of + (GCC 12 warns of overlaps in such chains that are not there).
#pragma once

#include <string>

namespace zx840 {

template <typename... Pieces>
void AppendText(std::string& out, const Pieces&... pieces) {
    ((out += pieces), ...);
}

template <typename... Pieces>
std::string TextOf(const Pieces&... pieces) {
    std::string text;
    AppendText(text, pieces...);
    return text;
}

}  // namespace zx840
