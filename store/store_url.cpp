#include "store/store_url.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "record/product_identity.h"

namespace zx840 {
namespace {

constexpr std::string_view kSqlitePrefix = "sqlite:";
constexpr std::string_view kPostgresPrefixes[] = {"postgresql://", "postgres://"};
constexpr char kMask[] = "***";
// Options that tune how a connection is made, not which store it reaches
// nor as whom: a spool made with one of them is found without it.
constexpr std::string_view kTuningOptions[] = {
    "connect_timeout", "application_name",    "fallback_application_name", "keepalives",
    "keepalives_idle", "keepalives_interval", "keepalives_count",          "tcp_user_timeout"};

StoreUrlParse Fail(const std::string& why) {
    return {std::nullopt, why};
}

bool Unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// %XX for every byte but the unreserved ones: any text reads back as it was.
std::string Escaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        if (Unreserved(c)) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

// A host that stands in the URL as it is, or (an IPv6 address) in brackets;
// any other (a socket folder, a zone index) goes into the query.
bool PlainHost(const std::string& host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), Unreserved);
}
bool Ipv6Host(const std::string& host) {
    return host.find(':') != std::string::npos && std::all_of(host.begin(), host.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                      c == ':' || c == '.';
           });
}

StoreUrlParse ParseSqlite(std::string_view path) {
    if (path.empty()) {
        return Fail("the store URL names no SQLite file (sqlite:PATH)");
    }
    // SQLite reads "file:" names as URIs, which can ask for a database in
    // memory (file::memory:, ?mode=memory) or change how a file is opened:
    // a store is named by the path of its file, nothing else.
    if (path == ":memory:" || path.substr(0, 5) == "file:") {
        return Fail("the store URL names no file (sqlite:" + std::string(path) +
                    "): a database in memory keeps nothing beyond one run; give the path of a "
                    "file, sqlite:PATH");
    }
    StoreUrl url;
    url.path = std::string(path);
    return {url, {}};
}

// What the URL holds between "://" and its end of user and password, and
// the password as written (to keep it out of messages).
struct Authority {
    std::string text;      // the URL, with every '@' but the last of the authority as %40
    std::string password;  // as written, escaped or not
};

// The authority ends at the first '/' or '?'. Earlier versions took the
// last '@' in it as the end of user and password, so a raw '@' in a
// password worked; libpq takes the first. Those URLs still read the same.
Authority SplitAuthority(std::string_view text, std::size_t start) {
    const std::size_t end = std::min(text.find_first_of("/?", start), text.size());
    const std::string_view authority = text.substr(start, end - start);
    const std::size_t at = authority.rfind('@');
    Authority result;
    result.text = std::string(text.substr(0, start));
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        for (const char c : userInfo) {
            result.text += c == '@' ? std::string("%40") : std::string(1, c);
        }
        if (const std::size_t colon = userInfo.find(':'); colon != std::string_view::npos) {
            result.password = std::string(userInfo.substr(colon + 1));
        }
        result.text += authority.substr(at);
    } else {
        result.text += authority;
    }
    result.text += text.substr(end);
    return result;
}

std::optional<int> PortNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

// Takes the fields of libpq's reading into `url`; an error when they name
// no single store.
std::string TakeOptions(const PQconninfoOption* options, StoreUrl& url) {
    std::string port;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (o->val == nullptr) {
            continue;
        }
        const std::string_view key = o->keyword;
        std::string value = o->val;
        if (key == "user") {
            url.user = std::move(value);
        } else if (key == "password") {
            url.password = std::move(value);
        } else if (key == "host") {
            url.host = std::move(value);
        } else if (key == "port") {
            port = std::move(value);
        } else if (key == "dbname") {
            url.database = std::move(value);
        } else if (value.find(';') != std::string::npos) {
            // The driver takes its options as one list split at ';'.
            return "the option " + std::string(key) + " of the store URL holds a ';'";
        } else {
            url.options.emplace_back(key, std::move(value));
        }
    }
    if (url.database.empty()) {
        return "the store URL names no database (postgresql://USER@HOST/DBNAME)";
    }
    if (url.user.empty() && !url.password.empty()) {
        return "the store URL gives a password but no user name";
    }
    if (url.host.find(',') != std::string::npos || port.find(',') != std::string::npos) {
        return "the store URL names more than one host; a store is on one";
    }
    if (!port.empty()) {
        const auto number = PortNumber(port);
        if (!number) {
            return "the port of the store URL is not a number from 1 to 65535";
        }
        url.port = *number;
    }
    return {};
}

StoreUrlParse ParsePostgres(const std::string& text, std::size_t authorityStart) {
    const Authority authority = SplitAuthority(text, authorityStart);
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
        PQconninfoParse(authority.text.c_str(), &error), PQconninfoFree);
    if (!options) {
        std::string why = error != nullptr ? error : "libpq could not read it";
        PQfreemem(error);
        while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) {
            why.pop_back();
        }
        return Fail("the store URL is not one libpq reads (" + Scrubbed(why, authority.password) +
                    ")");
    }
    StoreUrl url;
    url.kind = StoreKind::Postgresql;
    if (const std::string why = TakeOptions(options.get(), url); !why.empty()) {
        return Fail(why);
    }
    return {url, {}};
}

// The URL with `password` (escaped, or the mask) in its place.
std::string Written(const StoreUrl& url, const std::string& password) {
    if (url.kind == StoreKind::Sqlite) {
        return std::string(kSqlitePrefix) + url.path;
    }
    std::string text = "postgresql://";
    if (!url.user.empty() || !password.empty()) {
        text += Escaped(url.user) + (password.empty() ? "" : ":" + password) + "@";
    }
    std::string query;
    if (PlainHost(url.host)) {
        text += url.host;
    } else if (Ipv6Host(url.host)) {
        text += "[" + url.host + "]";
    } else if (!url.host.empty()) {
        query = "host=" + Escaped(url.host);
    }
    text += ':';
    text += std::to_string(url.port);
    text += '/';
    text += Escaped(url.database);
    for (const auto& [key, value] : url.options) {
        query += query.empty() ? "" : "&";
        query += key;
        query += '=';
        query += Escaped(value);
    }
    return query.empty() ? text : text + "?" + query;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? home : ".";
}

}  // namespace

std::string StoreUrl::Display() const {
    return Written(*this, password.empty() ? "" : kMask);
}

std::string StoreUrl::Identity() const {
    if (kind == StoreKind::Sqlite) {
        return std::string(kSqlitePrefix) + path;
    }
    // The text as earlier versions wrote it: unescaped, the port always.
    std::string text = "postgresql://" + user + "@" +
                       (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                       std::to_string(port) + "/" + database;
    char separator = '?';
    for (const auto& [key, value] : options) {
        if (std::find(std::begin(kTuningOptions), std::end(kTuningOptions), key) ==
            std::end(kTuningOptions)) {
            text += separator + key + "=" + value;
            separator = '&';
        }
    }
    return text;
}

StoreUrlParse ParseStoreUrl(const std::string& text) {
    if (text.find('\0') != std::string::npos) {
        return Fail("the store URL holds a NUL byte");
    }
    const std::string_view view(text);
    if (view.substr(0, kSqlitePrefix.size()) == kSqlitePrefix) {
        return ParseSqlite(view.substr(kSqlitePrefix.size()));
    }
    for (const std::string_view prefix : kPostgresPrefixes) {
        if (view.substr(0, prefix.size()) == prefix) {
            return ParsePostgres(text, prefix.size());
        }
    }
    return Fail("a store URL starts with sqlite: or postgresql://");
}

std::string WriteStoreUrl(const StoreUrl& url) {
    return Written(url, Escaped(url.password));
}

std::string WriteStoreUrlWithoutPassword(const StoreUrl& url) {
    return Written(url, "");
}

std::string DataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string base =
        xdg != nullptr && *xdg == '/' ? std::string(xdg) : HomeFolder() + "/.local/share";
    return base + "/" + kSettingsOrganization;
}

std::string DefaultStorePath() {
    return DataFolder() + "/results.sqlite";
}

std::string SpoolFolder() {
    return DataFolder();
}

std::optional<std::string> ChosenStoreText(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const char* env = std::getenv(kStoreEnvironment);
    if (env != nullptr && *env != '\0') {
        return std::string(env);
    }
    return std::nullopt;
}

std::string Scrubbed(std::string text, const std::string& secret) {
    if (secret.empty()) {
        return text;
    }
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + sizeof kMask - 1)) {
        text.replace(at, secret.size(), kMask);
    }
    return text;
}

}  // namespace zx840
