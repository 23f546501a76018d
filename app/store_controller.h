// Where every measurement of the session is kept: in the results store (on
// by default, in the per-user SQLite file unless ZX840_DB or the Results
// Store dialog names another), or nowhere. Warns once in the status bar
// when results go to the local spool or are lost, and opens the History
// window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/history_window.h"
#include "app/results_store_dlg.h"
#include "commands/command_router.h"
#include "store/background_keeper.h"

class QLabel;
class QMainWindow;

namespace zx840 {

class MeterSession;

class StoreController : public QObject, public CommandTarget {
    Q_OBJECT
  public:
    // Hands the session the keeper of its measurements; `open` puts a kept
    // result on the panel.
    StoreController(QMainWindow* frame, MeterSession& session,
                    std::function<void(const Result&)> open);
    ~StoreController() override;

    const StoreChoice& Choice() const { return choice_; }
    // Takes a new choice (saved without its password) for the results that
    // follow.
    void SetChoice(const StoreChoice& choice);
    // The store results go to now; nothing while they are not kept.
    const std::optional<StoreUrl>& ActiveStore() const { return active_; }
    // The warning of the status bar; empty while all is well.
    QString Warning() const;
    CHistoryWindow* History() const { return history_; }
    // Returns once every result handed over so far is kept and reported.
    void Flush();
    // How long a store that failed is left alone before the next result
    // tries it again, for the stores chosen from now on (5 s by default).
    void SetRetryDelay(std::chrono::milliseconds delay) { keeper_->SetRetryDelay(delay); }
    void OpenHistory();

  private:
    void Activate();
    void OnResultsStore();
    void OnReport(const KeepReport& report);
    // Red for what loses results or needs someone to act, amber for what
    // passes by itself.
    enum class Weight { Passing, Severe };
    void ShowWarning(const QString& text, const QString& details, Weight weight);
    void ClearWarning();

    QMainWindow* frame_;
    MeterSession& session_;
    std::function<void(const Result&)> open_;
    StoreChoice choice_;
    std::optional<StoreUrl> active_;
    std::unique_ptr<BackgroundKeeper> keeper_;
    QLabel* warning_;        // in the status bar, owned by it
    bool lossSaid_ = false;  // a lost result is said once until results are kept again
    QPointer<CHistoryWindow> history_;
};

}  // namespace zx840
