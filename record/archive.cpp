#include "record/archive.h"

#include <bit>
#include <cstring>

namespace zx840 {
namespace {

void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// Windows-1252 bytes 0x80 to 0x9F; the five unassigned ones stay the C1
// control characters of the same value.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void WriteArchiveString(std::vector<std::uint8_t>& out, std::string_view text) {
    const std::uint64_t length = text.size();
    if (length < 0xFF) {
        AppendLe(out, length, 1);
    } else if (length < 0xFFFE) {
        out.push_back(0xFF);
        AppendLe(out, length, 2);
    } else {
        out.push_back(0xFF);
        AppendLe(out, 0xFFFF, 2);
        AppendLe(out, length, 4);
    }
    out.insert(out.end(), text.begin(), text.end());
}

void WriteInt32(std::vector<std::uint8_t>& out, std::int32_t value) {
    AppendLe(out, std::bit_cast<std::uint32_t>(value), 4);
}

void WriteFloat(std::vector<std::uint8_t>& out, float value) {
    AppendLe(out, std::bit_cast<std::uint32_t>(value), 4);
}

bool ArchiveReader::ReadBytes(void* out, std::size_t count) {
    if (count > Remaining()) {
        return false;
    }
    std::memcpy(out, bytes_.data() + position_, count);
    position_ += count;
    return true;
}

bool ArchiveReader::ReadInt32(std::int32_t* value) {
    std::uint8_t b[4];
    if (!ReadBytes(b, 4)) {
        return false;
    }
    *value =
        std::bit_cast<std::int32_t>(static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16)) |
                                    (static_cast<std::uint32_t>(b[3]) << 24));
    return true;
}

bool ArchiveReader::ReadFloat(float* value) {
    std::int32_t bits = 0;
    if (!ReadInt32(&bits)) {
        return false;
    }
    *value = std::bit_cast<float>(bits);
    return true;
}

// The length prefix; FF FE announces 16-bit characters and is followed by
// the length in the same forms.
bool ArchiveReader::ReadLength(std::uint64_t* length, bool* wide) {
    *wide = false;
    for (;;) {
        std::uint8_t first = 0;
        if (!ReadBytes(&first, 1)) {
            return false;
        }
        if (first < 0xFF) {
            *length = first;
            return true;
        }
        std::uint8_t w[2];
        if (!ReadBytes(w, 2)) {
            return false;
        }
        const std::uint32_t word = w[0] | (w[1] << 8);
        if (word == 0xFFFE) {
            if (*wide) {
                return false;  // announced twice: no writer does that
            }
            *wide = true;
            continue;
        }
        if (word != 0xFFFF) {
            *length = word;
            return true;
        }
        std::uint8_t d[4];
        if (!ReadBytes(d, 4)) {
            return false;
        }
        *length = static_cast<std::uint32_t>(d[0] | (d[1] << 8) | (d[2] << 16)) |
                  (static_cast<std::uint32_t>(d[3]) << 24);
        return true;
    }
}

bool ArchiveReader::ReadString(std::string* text) {
    std::uint64_t length = 0;
    bool wide = false;
    if (!ReadLength(&length, &wide)) {
        return false;
    }
    // Never trust a length beyond what the buffer holds.
    const std::uint64_t size = wide ? 2 * length : length;
    if (size > Remaining()) {
        return false;
    }
    const auto raw = bytes_.subspan(position_, static_cast<std::size_t>(size));
    position_ += static_cast<std::size_t>(size);
    if (wide) {
        *text = Utf16LeToUtf8(raw);
        return true;
    }
    const std::string_view narrow(reinterpret_cast<const char*>(raw.data()), raw.size());
    *text = IsValidUtf8(narrow) ? std::string(narrow) : Windows1252ToUtf8(narrow);
    return true;
}

namespace {

// The length of the well-formed UTF-8 sequence at `i` (no overlongs, no
// surrogates), or 0 when none starts there. `*prefix` gets how many bytes
// at `i` begin a sequence that is cut short or broken, at least 1.
std::size_t SequenceAt(std::string_view bytes, std::size_t i, std::size_t* prefix) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    *prefix = 1;
    std::size_t extra = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        extra = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        extra = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        if (i + k >= bytes.size()) {
            return 0;  // cut short
        }
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        *prefix = k + 1;
        cp = (cp << 6) | (next & 0x3F);
    }
    const std::uint32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        *prefix = 1;
        return 0;
    }
    return extra + 1;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t prefix = 0;
        const std::size_t length = SequenceAt(bytes, i, &prefix);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string ToValidUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t prefix = 0;
        const std::size_t length = SequenceAt(bytes, i, &prefix);
        if (length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD for the broken sequence
            i += prefix;
        }
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c >= 0x80 && c <= 0x9F ? kWindows1252High[c - 0x80] : c);
    }
    return out;
}

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace zx840
