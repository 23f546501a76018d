// The History window: the kept results, found by type, number or range,
// dates, verdict and station, newest first. A double-click (or Open) puts
// a result on the panel; selected rows export to CSV or to test files.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "store/result.h"
#include "store/results_store.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace zx840 {

class HistoryModel;

inline constexpr char kHistoryTitle[] = "History";

class CHistoryWindow : public QWidget {
    Q_OBJECT
  public:
    // Shows the results of `store`; `open` puts a result on the panel.
    CHistoryWindow(std::unique_ptr<ResultsStore> store, std::function<void(const Result&)> open,
                   QWidget* parent = nullptr);
    ~CHistoryWindow() override;

    // Finds the results of the filter entries; false (after saying why)
    // when an entry is not valid.
    bool Find();
    // Reads again, for results kept since.
    void Refresh();
    // Results were kept since the list was read: a list at its top with
    // nothing selected takes them in (at most once a second); otherwise the
    // operator is told, and nothing moves under the mouse.
    void NoteNewResults();
    // Puts the result of `row` on the panel.
    void OpenRow(int row);
    // The selected rows, ascending.
    std::vector<int> SelectedRows() const;
    // Writes the selected rows to one CSV file, or each as a test file into
    // `folder`; false after a failure, which has been reported.
    bool ExportCsv(const QString& path);
    bool ExportTestFiles(const QString& folder);

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

  private:
    QGridLayout* BuildFilters();
    void ShowCount();
    void Warn(const QString& text);
    void AskCsv();
    void AskTestFiles();
    // The selected results, read with a progress dialog when there are many.
    bool ReadSelected(bool full, std::vector<Result>& out);

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
    QTimer* newResults_;  // gathers the news of one second
};

}  // namespace zx840
