// Names of the files the tool writes: built from product data, and numbered
// on when a name is taken.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "record/product_mark.h"

namespace zx840 {

// More files of one name than this in a directory is a mistake of the
// caller, not something to number through.
inline constexpr int kMostSameNames = 100000;

// TYPE_NUMBER, the name of a test's files without the extension: "ZX840"
// stands for an empty type; the characters that this or other file systems
// refuse in a name become "_", and so does a first character that would
// hide the file (".") or let it read as an option or lose its start ("-",
// a space). A long type is cut at a character boundary.
std::string ProductFileStem(const ProductMark& mark);

// The first of STEM, STEM-2, STEM-3, ... (up to kMostSameNames of them) for
// which `taken` says false; nothing when every one is taken.
std::optional<std::string> FirstFreeStem(const std::string& stem,
                                         const std::function<bool(const std::string&)>& taken);

}  // namespace zx840
