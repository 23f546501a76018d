#include "store/spool_quarantine.h"

#include <QDateTime>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace zx840 {
namespace {

constexpr std::size_t kIdsNamed = 10;  // a note names at most these many ids

std::string Joined(const std::vector<std::string>& items, std::size_t most) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < most; ++i) {
        text += (i ? ", " : "") + items[i];
    }
    if (items.size() > most) {
        text += " and " + std::to_string(items.size() - most) + " more";
    }
    return text;
}

}  // namespace

SpoolQuarantine::SpoolQuarantine(const std::string& spoolPath)
    : spoolPath_(spoolPath),
      stem_(spoolPath.size() > 7 && spoolPath.ends_with(".sqlite")
                ? spoolPath.substr(0, spoolPath.size() - 7)
                : spoolPath),
      path_(stem_ + ".quarantine.sqlite") {}

std::unique_ptr<ResultsStore> SpoolQuarantine::OpenFile(StoreStatus* status) const {
    StoreUrl url;
    url.path = path_;
    return ResultsStore::Open(url, status, ResultsStore::Journal::Rollback);
}

StoreStatus SpoolQuarantine::Take(ResultsStore& spool, const std::vector<std::string>& ids) {
    StoreStatus status;
    if (!OpenFile(&status)) {  // made, with the schema, before the rows move in
        return status;
    }
    return spool.MoveTo(path_, ids);
}

StoreStatus SpoolQuarantine::Keep(const Result& result) {
    StoreStatus status;
    const auto file = OpenFile(&status);
    return file ? file->Write(result) : status;
}

StoreStatus SpoolQuarantine::SetAsideSpool(std::string* setAside) {
    // A name no other file has: the time, and a count should that be taken.
    const std::string time = std::to_string(QDateTime::currentMSecsSinceEpoch());
    std::error_code error;
    *setAside = stem_ + ".damaged-" + time + ".sqlite";
    for (int n = 2; std::filesystem::exists(*setAside, error); ++n) {
        *setAside = stem_ + ".damaged-" + time + "-" + std::to_string(n) + ".sqlite";
    }
    std::filesystem::rename(spoolPath_, *setAside, error);
    if (error) {
        return StoreStatus::Failed("Cannot set the damaged spool " + spoolPath_ +
                                   " aside: " + error.message());
    }
    std::filesystem::rename(spoolPath_ + "-journal", *setAside + "-journal", error);
    return {};
}

std::vector<std::string> SpoolQuarantine::SetAsideFiles() const {
    const std::filesystem::path stem(stem_);
    const std::string prefix = stem.filename().string() + ".damaged-";
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(stem.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(".sqlite")) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

StoreStatus SpoolQuarantine::Ids(std::vector<std::string>& ids) const {
    std::error_code error;
    if (!std::filesystem::exists(path_, error)) {
        return {};
    }
    StoreUrl url;
    url.path = path_;
    StoreStatus status;
    const auto file = ResultsStore::Open(url, &status, ResultsStore::Journal::Rollback,
                                         ResultsStore::Access::ReadOnly);
    std::vector<Result> found;
    if (file) {
        status = file->Find({}, 0, -1, Detail::Summary, found, &ids);
    }
    for (const Result& result : found) {
        ids.push_back(result.id);
    }
    return status;
}

std::string SpoolQuarantine::Note() const {
    std::string note;
    std::vector<std::string> ids;
    if (const StoreStatus status = Ids(ids); !status) {
        note = "the quarantine " + path_ + " cannot be read (" + status.message + ")";
    } else if (!ids.empty()) {
        note = std::to_string(ids.size()) + (ids.size() == 1 ? " result" : " results") +
               " that can go to no store (damaged, or refused for its content) " +
               (ids.size() == 1 ? "waits" : "wait") + " in the quarantine " + path_ + " (" +
               Joined(ids, kIdsNamed) + "): look at " + (ids.size() == 1 ? "it" : "them") +
               ", then remove the file";
    }
    const std::vector<std::string> files = SetAsideFiles();
    if (!files.empty()) {
        const bool one = files.size() == 1;
        note +=
            (note.empty() ? "" : "; ") +
            (one ? std::string("a spool file") : std::to_string(files.size()) + " spool files") +
            " that could not be read " + (one ? "was" : "were") + " set aside as " +
            Joined(files, kIdsNamed) + ": look at " +
            (one ? "it, then remove it" : "them, then remove them");
    }
    return note;
}

}  // namespace zx840
