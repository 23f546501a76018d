// libFuzzer target for the reader and the writer of store URLs, which come
// from the command line, ZX840_DB and the settings file, and for libpq's
// reader beneath them:
// - no input crashes either reader (AddressSanitizer);
// - a refused input says why; a store in memory is never accepted;
// - an accepted URL, written and read again, is the same URL, and writing
//   it again gives the same text, with its password and without;
// - what Display() shows reads as the URL with its password masked, and the
//   spool's name does not follow the password.
#include <cstddef>
#include <cstdint>
#include <string>

#include "store/store_url.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using zx840::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zx840::StoreUrlParse first = zx840::ParseStoreUrl(text);
    Check(first.url.has_value() != !first.error.empty());
    if (!first.url) {
        return 0;
    }
    const zx840::StoreUrl& url = *first.url;
    if (url.kind == zx840::StoreKind::Sqlite) {
        Check(!url.path.empty() && url.path != ":memory:" && url.path.rfind("file:", 0) != 0);
    }
    const std::string written = zx840::WriteStoreUrl(url);
    const zx840::StoreUrlParse second = zx840::ParseStoreUrl(written);
    Check(second.url.has_value() && *second.url == url);
    Check(zx840::WriteStoreUrl(*second.url) == written);

    zx840::StoreUrl bare = url;
    bare.password.clear();
    const zx840::StoreUrlParse withoutPassword =
        zx840::ParseStoreUrl(zx840::WriteStoreUrlWithoutPassword(url));
    Check(withoutPassword.url.has_value() && *withoutPassword.url == bare);

    zx840::StoreUrl masked = url;
    masked.password = url.password.empty() ? "" : "***";
    const zx840::StoreUrlParse shown = zx840::ParseStoreUrl(url.Display());
    Check(shown.url.has_value() && *shown.url == masked);
    Check(bare.Identity() == url.Identity());
    return 0;
}
