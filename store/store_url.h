// Where results are kept: a store named by a URL, "sqlite:PATH" or a
// PostgreSQL URL as libpq reads it,
// "postgresql://[USER[:PASSWORD]@][HOST][:PORT]/DBNAME[?KEY=VALUE&...]",
// where HOST may be an IPv6 address in brackets and a socket folder is
// given as ?host=/run/postgresql. ParseStoreUrl and WriteStoreUrl are the
// one pair that reads and writes them: what one writes, the other reads
// back as the same URL. A URL is never shown with its password: Display()
// masks it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zx840 {

enum class StoreKind { Sqlite, Postgresql };

struct StoreUrl {
    StoreKind kind = StoreKind::Sqlite;
    std::string path;  // SQLite: the database file
    // PostgreSQL: an empty password leaves it to PGPASSWORD or ~/.pgpass;
    // an empty user to libpq's default (PGUSER, the login name).
    std::string user;
    std::string password;
    std::string host;  // a name, an address or a socket folder; empty: libpq's default
    int port = 5432;
    std::string database;
    // The other libpq connection options given (sslmode, connect_timeout,
    // application_name, ...), in libpq's order; handed to the driver as they are.
    std::vector<std::pair<std::string, std::string>> options;

    // The URL for messages and listings: the password as "***".
    std::string Display() const;
    // The name of the store's spool: the URL without its password, the
    // options that only tune the connection (connect_timeout, ...) left
    // out. Its form is that of the spool names made so far, so they stay
    // found; it is a key, not a URL to read back (WriteStoreUrl is that).
    std::string Identity() const;

    friend bool operator==(const StoreUrl&, const StoreUrl&) = default;
};

struct StoreUrlParse {
    std::optional<StoreUrl> url;
    std::string error;  // why the text is no store URL; never holds the password
};

StoreUrlParse ParseStoreUrl(const std::string& text);
// The URL as text, with its password: ParseStoreUrl gives back `url`.
std::string WriteStoreUrl(const StoreUrl& url);
// The same without the password, as a URL is saved.
std::string WriteStoreUrlWithoutPassword(const StoreUrl& url);

// The environment variable that names the store when no --db is given.
inline constexpr char kStoreEnvironment[] = "ZX840_DB";

// The per-user data folder of the program: $XDG_DATA_HOME/Orvalisto, or
// ~/.local/share/Orvalisto.
std::string DataFolder();
// The default store: results.sqlite in the data folder.
std::string DefaultStorePath();
// The folder of the local spool: the data folder, beside the default store.
std::string SpoolFolder();

// The store to use: `given` (from --db) when not empty, else ZX840_DB when
// set, else nothing (the tool stores only when asked).
std::optional<std::string> ChosenStoreText(const std::string& given);

// Replaces every occurrence of `secret` in `text` by "***": driver messages
// pass through this before anyone sees them.
std::string Scrubbed(std::string text, const std::string& secret);

}  // namespace zx840
