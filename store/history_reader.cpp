#include "store/history_reader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <cstdlib>
#include <mutex>
#include <set>

namespace zx840 {

// The thread, the store it opened and the pages; shared by the reader and
// the work queued on the thread, and by the list of threads still running.
struct HistoryReader::Thread {
    QThread thread;
    QObject* worker = new QObject;  // lives on `thread`
    std::unique_ptr<ResultsStore> store;
    std::unique_ptr<HistoryPages> pages;
    StoreStatus opened;
    std::atomic<bool> abandoned{false};
    // Where answers go; nothing once the reader is gone. Work still under
    // way may tell, from its own thread, at any time.
    std::mutex answerLock;
    QObject* answerTo = nullptr;

    void Tell(std::function<void()> answer) {
        const std::lock_guard lock(answerLock);
        if (answerTo != nullptr) {
            QMetaObject::invokeMethod(answerTo, std::move(answer), Qt::QueuedConnection);
        }
    }
};

namespace {

std::mutex& Running() {
    static std::mutex mutex;
    return mutex;
}

std::set<HistoryReader::Thread*>& Gone() {
    static std::set<HistoryReader::Thread*> threads;
    return threads;
}

}  // namespace

HistoryReader::HistoryReader(QObject* context, StoreUrl url, ResultsStore::Access access)
    : thread_(new Thread) {
    // A reader gone while the program ends leaves its thread to be waited
    // for at exit, even where nothing calls WaitForAll.
    static const bool waitAtExit = [] {
        std::atexit([] { WaitForAll(); });
        return true;
    }();
    (void)waitAtExit;
    thread_->answerTo = context;
    thread_->thread.setObjectName(QStringLiteral("history"));
    thread_->worker->moveToThread(&thread_->thread);
    thread_->thread.start();
    Thread* t = thread_;
    QMetaObject::invokeMethod(
        t->worker,
        [t, url = std::move(url), access] {
            t->store = ResultsStore::Open(url, &t->opened, ResultsStore::Journal::Wal, access);
            if (t->store) {
                t->pages = std::make_unique<HistoryPages>(*t->store, ResultFilter{});
            }
        },
        Qt::QueuedConnection);
}

HistoryReader::~HistoryReader() {
    Thread* t = thread_;
    {
        const std::lock_guard lock(t->answerLock);
        t->answerTo = nullptr;
    }
    t->abandoned = true;
    {
        const std::lock_guard lock(Running());
        Gone().insert(t);
    }
    // Once it has ended, the thread is deleted on the program's main thread
    // (or by WaitForAll, whichever comes first).
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(
            &t->thread, &QThread::finished, app,
            [t] {
                const std::lock_guard lock(Running());
                if (Gone().erase(t) == 1) {
                    t->thread.wait();
                    delete t;
                }
            },
            Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        t->worker,
        [t] {
            // The connection ends on the thread that made it.
            t->pages.reset();
            t->store.reset();
            t->worker->deleteLater();
            t->thread.quit();
        },
        Qt::QueuedConnection);
}

void HistoryReader::WaitForAll() {
    std::set<Thread*> threads;
    {
        const std::lock_guard lock(Running());
        threads.swap(Gone());
    }
    for (Thread* t : threads) {
        t->thread.wait();
        delete t;
    }
}

void HistoryReader::Run(std::function<void(const Lane&)> work) {
    Thread* t = thread_;
    QMetaObject::invokeMethod(
        t->worker,
        [t, work = std::move(work)] {
            if (t->abandoned) {
                return;
            }
            work(Lane{t->pages.get(), t->opened, &t->abandoned, t});
        },
        Qt::QueuedConnection);
}

void HistoryReader::Lane::Tell(std::function<void()> answer) const {
    thread->Tell(std::move(answer));
}

void HistoryReader::SetFilter(ResultFilter filter,
                              std::function<void(StoreStatus, std::int64_t)> counted) {
    Run([filter = std::move(filter), counted = std::move(counted)](const Lane& lane) {
        StoreStatus status = lane.opened;
        std::int64_t count = 0;
        if (lane.pages) {
            lane.pages->Reset(filter);
            status = lane.pages->Count(&count);
        }
        lane.Tell([counted, status, count] { counted(status, count); });
    });
}

void HistoryReader::FetchPage(std::int64_t page,
                              std::function<void(StoreStatus, std::vector<Result>)> fetched) {
    Run([page, fetched = std::move(fetched)](const Lane& lane) {
        StoreStatus status = lane.opened;
        std::vector<Result> rows;
        if (lane.pages) {
            status = lane.pages->Page(page, &rows);
        }
        lane.Tell([fetched, status, rows = std::move(rows)]() mutable {
            fetched(status, std::move(rows));
        });
    });
}

namespace {

// Rows whose page keys are learnt between two pages served.
constexpr std::int64_t kKeySlice = 50000;

void LearnSlice(HistoryReader::Thread* t, std::uint64_t generation);

}  // namespace

void HistoryReader::LearnKeys() {
    Run([](const Lane& lane) {
        if (lane.pages) {
            LearnSlice(lane.thread, lane.pages->Generation());
        }
    });
}

namespace {

// One slice, then the next behind what was asked meanwhile; until the keys
// are known, the filter changes or a slice fails (pages are then counted
// off the index).
void LearnSlice(HistoryReader::Thread* t, std::uint64_t generation) {
    HistoryPages* pages = t->pages.get();
    if (t->abandoned || !pages || pages->Generation() != generation || pages->KnowsKeys() ||
        !pages->LearnKeys(kKeySlice) || pages->KnowsKeys()) {
        return;
    }
    QMetaObject::invokeMethod(
        t->worker, [t, generation] { LearnSlice(t, generation); }, Qt::QueuedConnection);
}

}  // namespace

}  // namespace zx840
