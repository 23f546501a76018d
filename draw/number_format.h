// Numbers as text, the same in every locale.
#pragma once

#include <string>

namespace zx840 {

// `value` in fixed notation with `precision` decimals, right-aligned in a
// field of at least `width` characters: what printf's "%*.*f" gives in the
// "C" locale ("inf", "nan" for those values). It never consults the global
// locale, so the decimal point is always ".". `precision` is limited to 0..50.
std::string FormatFixed(double value, int precision, int width = 0);

}  // namespace zx840
