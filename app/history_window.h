// The History window: the kept results, found by type, number or range,
// dates, verdict and station, newest first. A double-click (or Open) puts
// a result on the panel; selected rows export to CSV or to test files.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "store/history_export.h"
#include "store/result.h"
#include "store/results_store.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QTableView;
class QTimer;

namespace zx840 {

class HistoryModel;

inline constexpr char kHistoryTitle[] = "History";

class CHistoryWindow : public QWidget {
    Q_OBJECT
  public:
    // Shows the results of the store at `url`, opened and read on a thread
    // of its own; `open` puts a result on the panel.
    CHistoryWindow(const StoreUrl& url, std::function<void(const Result&)> open,
                   QWidget* parent = nullptr);
    ~CHistoryWindow() override;

    // Finds the results of the filter entries; false (after saying why)
    // when an entry is not valid. The rows come when they are counted.
    bool Find();
    // Reads again, for results kept since.
    void Refresh();
    // Results were kept since the list was read: a list at its top with
    // nothing selected takes them in (at most once a second); otherwise the
    // operator is told, and nothing moves under the mouse.
    void NoteNewResults();
    // Puts the result of `row` on the panel once it is read.
    void OpenRow(int row);
    // The selected rows as runs, ascending.
    RowRanges SelectedRanges() const;
    // Writes the selected rows to one CSV file, or each as a test file into
    // `folder`, on the store's thread; exported() tells how it ended. False
    // (after saying why) when there is nothing to write or an export runs.
    bool ExportCsv(const QString& path);
    bool ExportTestFiles(const QString& folder);

  signals:
    // An export ended: complete, or failed (which has been reported) or
    // stopped.
    void exported(bool ok);
    // A result of OpenRow went to the panel.
    void opened();

  public:
    // For tests.
    HistoryModel* Model() const { return model_; }
    QTableView* Table() const { return table_; }
    QLineEdit* TypeEdit() const { return type_; }
    QLineEdit* NumberEdit() const { return number_; }
    QLineEdit* StationEdit() const { return station_; }
    QComboBox* VerdictBox() const { return verdict_; }
    QCheckBox* FromBox() const { return fromOn_; }
    QCheckBox* ToBox() const { return toOn_; }
    QDateEdit* FromEdit() const { return from_; }
    QDateEdit* ToEdit() const { return to_; }
    QLabel* CountLabel() const { return count_; }
    QPushButton* CancelButton() const { return cancel_; }

  private:
    QGridLayout* BuildFilters();
    QTableView* BuildTable();
    void ShowCount();
    void Warn(const QString& text);
    void AskCsv();
    void AskTestFiles();
    // Runs `write` on the store's thread with a progress dialog when many
    // rows go; false when nothing is selected or an export runs already.
    using Writer = std::function<HistoryExport(HistoryPages&, const RowRanges&,
                                               const std::function<bool(std::int64_t)>&)>;
    bool Export(Writer write);
    void Exported(const HistoryExport& outcome);

    std::function<void(const Result&)> open_;
    HistoryModel* model_;
    QTableView* table_;
    QLineEdit* type_;
    QLineEdit* number_;
    QLineEdit* station_;
    QComboBox* verdict_;
    QCheckBox* fromOn_;
    QCheckBox* toOn_;
    QDateEdit* from_;
    QDateEdit* to_;
    QLabel* count_;
    QPushButton* cancel_;    // while the store is being connected to and counted
    bool answered_ = false;  // the store has answered a count (or failed to)
    QTimer* newResults_;     // gathers the news of one second
    // The export under way: its progress and the flag that stops it.
    QProgressDialog* progress_ = nullptr;
    std::shared_ptr<std::atomic<bool>> stopExport_;
};

}  // namespace zx840
