// The check of the fuzz targets: a property that does not hold stops the
// run at once, so libFuzzer keeps the input as a finding.
#pragma once

namespace zx840::fuzz {

inline void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace zx840::fuzz
