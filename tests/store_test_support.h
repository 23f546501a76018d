// Stores for the store tests: a fresh SQLite file, or a fresh database on
// the PostgreSQL server the test fixture started (its URL in
// ZX840_TEST_PG_URL, or in the file ZX840_TEST_PG_DIR/url).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "store/result.h"
#include "store/store_url.h"

namespace zx840::testing {

// The URL of the test server, or nothing when no server runs.
inline std::optional<std::string> TestServerUrl() {
    if (const char* url = std::getenv("ZX840_TEST_PG_URL"); url != nullptr && *url != '\0') {
        return std::string(url);
    }
    if (const char* dir = std::getenv("ZX840_TEST_PG_DIR"); dir != nullptr && *dir != '\0') {
        std::ifstream file(std::string(dir) + "/url");
        std::string url;
        if (std::getline(file, url) && !url.empty()) {
            return url;
        }
    }
    return std::nullopt;
}

inline const char* kNoServer =
    "no PostgreSQL test server: the PostgreSQL server programs are missing (scripts/"
    "install-deps.sh installs them) or the test runs outside ctest";

// Runs `sql` on the server database of `server` (an admin connection).
inline bool AdminExec(const StoreUrl& server, const std::string& sql, std::string* error) {
    const QString name = "admin-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(QString::fromStdString(server.host));
        db.setPort(server.port);
        db.setUserName(QString::fromStdString(server.user));
        db.setPassword(QString::fromStdString(server.password));
        db.setDatabaseName(QString::fromStdString(server.database));
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(QString::fromStdString(sql));
            if (!ok) {
                *error = query.lastError().text().toStdString();
            }
        } else {
            *error = db.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A store that exists for one test: SQLite in a temporary folder, or a
// database of its own on the test server. Removed at the end.
class ScratchStore {
  public:
    // `postgresql` false: SQLite. Check Ok(); Skip() tells why not.
    explicit ScratchStore(bool postgresql) : postgresql_(postgresql) {
        const std::string unique =
            QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString();
        if (!postgresql) {
            folder_ = std::filesystem::temp_directory_path() /
                      ("zx840-store-" + std::to_string(::getpid()) + "-" + unique);
            std::filesystem::create_directories(folder_);
            url_ = "sqlite:" + (folder_ / "results.sqlite").string();
            ok_ = true;
            return;
        }
        const auto serverText = TestServerUrl();
        if (!serverText) {
            return;
        }
        server_ = *ParseStoreUrl(*serverText).url;
        database_ = "zx840_test_" + unique;
        std::string error;
        if (!AdminExec(server_, "CREATE DATABASE " + database_, &error)) {
            ADD_FAILURE() << "cannot create a test database: " << error;
            return;
        }
        StoreUrl url = server_;
        url.database = database_;
        parsed_ = url;
        url_ = "postgresql://" + url.user + ":" + url.password + "@" + url.host + ":" +
               std::to_string(url.port) + "/" + database_;
        ok_ = true;
    }
    ~ScratchStore() {
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
        if (!database_.empty()) {
            std::string error;
            AdminExec(server_, "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)", &error);
        }
    }
    ScratchStore(const ScratchStore&) = delete;
    ScratchStore& operator=(const ScratchStore&) = delete;

    bool Ok() const { return ok_; }
    bool Postgresql() const { return postgresql_; }
    const std::string& Text() const { return url_; }
    StoreUrl Url() const { return *ParseStoreUrl(url_).url; }
    // A folder for spools and other files of the test.
    std::filesystem::path Folder() {
        if (folder_.empty()) {
            folder_ = std::filesystem::temp_directory_path() /
                      ("zx840-store-" + std::to_string(::getpid()) + "-" + database_);
            std::filesystem::create_directories(folder_);
        }
        return folder_;
    }

  private:
    bool postgresql_;
    bool ok_ = false;
    std::string url_;
    std::filesystem::path folder_;
    StoreUrl server_;
    std::optional<StoreUrl> parsed_;
    std::string database_;
};

// A result full of values that are easy to get wrong: NaN with a payload,
// -0, subnormals, infinities, text with quotes and non-ASCII letters.
inline Result OddResult(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> any(-1000.0f, 1000.0f);
    Result r;
    r.id = "00000000-0000-4000-8000-" + std::to_string(100000000000ull + seed);
    r.timeMs = 1765000000000 + seed * 1000;
    r.station = "Stand \"3\" — Güte";
    r.programVersion = "1.05";
    r.source = ResultSource::File;
    r.mark = {"Orvalisto", "ZX-9'; DROP TABLE results; --", -7, "25,5", "65", "Zoë", "Ingo",
              "26-12-08"};
    MeasurementRecord& m = r.working.Record;
    m.Freq = std::bit_cast<float>(0x7FC01234u);  // a NaN with a payload
    m.Icf = -0.0f;
    m.Ucf = std::numeric_limits<float>::denorm_min();
    m.PF = std::numeric_limits<float>::infinity();
    m.Power = any(random);
    m.Irms = any(random);
    m.Urms = 230.1f;
    m.Uthd = any(random);
    m.Ithd = any(random);
    for (auto& v : m.USpec)
        v = any(random);
    for (auto& v : m.ISpec)
        v = any(random);
    for (auto& v : m.UWave)
        v = static_cast<std::int32_t>(random());
    for (auto& v : m.IWave)
        v = -static_cast<std::int32_t>(random() % 100000);
    m.ISpec[7] = std::bit_cast<float>(0xFF800001u);  // a negative signalling NaN
    r.working.DataValid = 1;
    r.working.Angles = {any(random), std::nextafter(90.0f, 100.0f), -std::nanf("")};
    r.verdict = ResultVerdict{false, "line-3", {"Power", "IEC I3"}, "{\"Pass\":false}"};
    return r;
}

// Every field the same, floats compared bit for bit.
inline void ExpectSameResult(const Result& got, const Result& want) {
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.timeMs, want.timeMs);
    EXPECT_EQ(got.station, want.station);
    EXPECT_EQ(got.programVersion, want.programVersion);
    EXPECT_EQ(got.source, want.source);
    EXPECT_EQ(got.mark, want.mark);
    EXPECT_EQ(got.verdict, want.verdict);
    EXPECT_EQ(got.unjudged, want.unjudged);
    EXPECT_EQ(got.working.DataValid, want.working.DataValid);
    EXPECT_EQ(std::memcmp(&got.working.Record, &want.working.Record, sizeof(MeasurementRecord)), 0);
    EXPECT_EQ(std::memcmp(&got.working.Angles, &want.working.Angles, sizeof(ConductionAngles)), 0);
}

// A plain connection to the store, as another program would have one.
class RawConnection {
  public:
    explicit RawConnection(const StoreUrl& url)
        : name_("raw-" + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(url.kind == StoreKind::Sqlite ? "QSQLITE" : "QPSQL", name_);
        if (url.kind == StoreKind::Sqlite) {
            db.setDatabaseName(QString::fromStdString(url.path));
        } else {
            db.setHostName(QString::fromStdString(url.host));
            db.setPort(url.port);
            db.setUserName(QString::fromStdString(url.user));
            db.setPassword(QString::fromStdString(url.password));
            db.setDatabaseName(QString::fromStdString(url.database));
        }
        EXPECT_TRUE(db.open());
    }
    ~RawConnection() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase Db() const { return QSqlDatabase::database(name_, false); }
    QVariant Value(const QString& sql) const {
        QSqlQuery query(Db());
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        return query.next() ? query.value(0) : QVariant();
    }
    bool Exec(const QString& sql) const { return QSqlQuery(Db()).exec(sql); }
    // The names of the columns of `table`.
    std::set<std::string> Columns(const char* table) const {
        std::set<std::string> names;
        const QSqlRecord record = Db().record(table);
        for (int i = 0; i < record.count(); ++i) {
            names.insert(record.fieldName(i).toStdString());
        }
        return names;
    }

  private:
    QString name_;
};

// A test run on both stores: SQLite (false) and the PostgreSQL test server
// (true), skipped when that server is not running.
class BackendTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        scratch_ = std::make_unique<ScratchStore>(GetParam());
        if (!scratch_->Ok()) {
            GTEST_SKIP() << kNoServer;
        }
    }
    std::unique_ptr<ScratchStore> scratch_;
};

}  // namespace zx840::testing
