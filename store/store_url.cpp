#include "store/store_url.h"

#include <cstdlib>
#include <string_view>

#include "record/product_identity.h"

namespace zx840 {
namespace {

constexpr std::string_view kSqlitePrefix = "sqlite:";
constexpr std::string_view kPostgresPrefixes[] = {"postgresql://", "postgres://"};
constexpr char kMask[] = "***";

// %XX escapes, as user names and passwords with '@' or ':' need them.
std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            return -1;
        };
        const int high = hex(text[i + 1]);
        const int low = hex(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

StoreUrlParse Fail(const std::string& why) {
    return {std::nullopt, why};
}

StoreUrlParse ParsePostgres(std::string_view rest) {
    StoreUrl url;
    url.kind = StoreKind::Postgresql;
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return Fail("the store URL names no database (postgresql://USER@HOST/DBNAME)");
    }
    std::string_view authority = rest.substr(0, slash);
    std::string_view tail = rest.substr(slash + 1);
    const std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos) {
        return Fail("the store URL names no user (postgresql://USER@HOST/DBNAME)");
    }
    const std::string_view credentials = authority.substr(0, at);
    std::string_view hostPort = authority.substr(at + 1);
    const std::size_t colon = credentials.find(':');
    const auto user = Unescape(credentials.substr(0, colon));
    const auto password = colon == std::string_view::npos ? std::optional<std::string>("")
                                                          : Unescape(credentials.substr(colon + 1));
    if (!user || !password || user->empty()) {
        return Fail("the user name of the store URL is missing or badly escaped");
    }
    url.user = *user;
    url.password = *password;
    const std::size_t portColon = hostPort.rfind(':');
    if (portColon != std::string_view::npos && hostPort.find(']') == std::string_view::npos) {
        const std::string_view portText = hostPort.substr(portColon + 1);
        int port = 0;
        for (const char c : portText) {
            if (c < '0' || c > '9' || port > 65535) {
                return Fail("the port of the store URL is not a number from 1 to 65535");
            }
            port = port * 10 + (c - '0');
        }
        if (portText.empty() || port < 1 || port > 65535) {
            return Fail("the port of the store URL is not a number from 1 to 65535");
        }
        url.port = port;
        hostPort = hostPort.substr(0, portColon);
    }
    if (hostPort.empty()) {
        return Fail("the store URL names no host");
    }
    url.host = std::string(hostPort);
    const std::size_t question = tail.find('?');
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : tail.substr(question + 1);
    const auto database = Unescape(tail.substr(0, question));
    if (!database || database->empty()) {
        return Fail("the store URL names no database (postgresql://USER@HOST/DBNAME)");
    }
    url.database = *database;
    if (!query.empty()) {
        constexpr std::string_view kSslMode = "sslmode=";
        if (query.substr(0, kSslMode.size()) != kSslMode ||
            query.find('&') != std::string_view::npos) {
            return Fail("the store URL takes only ?sslmode=... after the database");
        }
        url.sslmode = std::string(query.substr(kSslMode.size()));
        for (const char c : url.sslmode) {
            if (!((c >= 'a' && c <= 'z') || c == '-')) {
                return Fail("the sslmode of the store URL is not a mode name");
            }
        }
    }
    return {url, {}};
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? home : ".";
}

}  // namespace

std::string StoreUrl::Display() const {
    if (kind == StoreKind::Sqlite) {
        return std::string(kSqlitePrefix) + path;
    }
    std::string text = "postgresql://" + user;
    if (!password.empty()) {
        text += std::string(":") + kMask;
    }
    text += "@" + host + ":" + std::to_string(port) + "/" + database;
    if (!sslmode.empty()) {
        text += "?sslmode=" + sslmode;
    }
    return text;
}

std::string StoreUrl::Identity() const {
    StoreUrl bare = *this;
    bare.password.clear();
    return bare.Display();
}

StoreUrlParse ParseStoreUrl(const std::string& text) {
    const std::string_view view(text);
    if (view.substr(0, kSqlitePrefix.size()) == kSqlitePrefix) {
        StoreUrl url;
        url.path = std::string(view.substr(kSqlitePrefix.size()));
        if (url.path.empty()) {
            return Fail("the store URL names no SQLite file (sqlite:PATH)");
        }
        return {url, {}};
    }
    for (const std::string_view prefix : kPostgresPrefixes) {
        if (view.substr(0, prefix.size()) == prefix) {
            return ParsePostgres(view.substr(prefix.size()));
        }
    }
    return Fail("a store URL starts with sqlite: or postgresql://");
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
