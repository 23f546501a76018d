// libFuzzer target for the reader of test plan files and the JSON reader
// beneath it, which take files from outside:
// - reads never go past the end of the input (AddressSanitizer), and deep
//   nesting never exhausts the stack;
// - a refused input always says why;
// - a plan that is accepted, written by the program and read again, is the
//   same plan, and writing it again gives the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "plan/plan_file.h"
#include "record/json_reader.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using zx840::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zx840::JsonError error;
    const auto value = zx840::ParseJson(text, &error);
    Check(value.has_value() || !error.message.empty());

    const zx840::PlanRead first = zx840::ParsePlan(text, "fuzz.zx8plan");
    Check(first.plan.has_value() != !first.error.empty());
    if (!first.plan) {
        return 0;
    }
    const std::string written = zx840::PlanToJson(*first.plan);
    const zx840::PlanRead second = zx840::ParsePlan(written, "fuzz.zx8plan");
    Check(second.plan.has_value());
    Check(*second.plan == *first.plan);
    Check(zx840::PlanToJson(*second.plan) == written);
    return 0;
}
