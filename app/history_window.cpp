#include "app/history_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "record/product_identity.h"
#include "store/result_text.h"
#include "view/history_model.h"
#include "view/operator_report.h"

namespace zx840 {

namespace {

// More selected rows than this are exported with a progress dialog.
constexpr std::size_t kQuietRead = 2000;

// While the store is opened and first counted, on the store's thread.
constexpr char kConnecting[] = "Connecting...";

QString Counted(std::int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

}  // namespace

CHistoryWindow::CHistoryWindow(const StoreUrl& url, std::function<void(const Result&)> open,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), open_(std::move(open)) {
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(kHistoryTitle),
                                                 QString::fromStdString(url.Display())));
    model_ = new HistoryModel(url, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(BuildFilters());
    layout->addWidget(BuildTable(), 1);

    auto* buttons = new QHBoxLayout;
    count_ = new QLabel;
    buttons->addWidget(count_, 1);
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    auto* openButton = new QPushButton(QStringLiteral("&Open"));
    auto* csvButton = new QPushButton(QStringLiteral("Export &CSV..."));
    auto* filesButton = new QPushButton(QStringLiteral("Export Test &Files..."));
    auto* closeButton = new QPushButton(QStringLiteral("Close"));
    for (QPushButton* button : {cancel_, openButton, csvButton, filesButton, closeButton}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    connect(openButton, &QPushButton::clicked, this, [this] {
        const RowRanges rows = SelectedRanges();
        if (!rows.empty()) {
            OpenRow(static_cast<int>(rows.front().first));
        }
    });
    connect(csvButton, &QPushButton::clicked, this, &CHistoryWindow::AskCsv);
    connect(filesButton, &QPushButton::clicked, this, &CHistoryWindow::AskTestFiles);
    // A store that does not answer is left to time out on its own thread.
    connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    layout->addLayout(buttons);

    newResults_ = new QTimer(this);
    newResults_->setSingleShot(true);
    newResults_->setInterval(1000);
    connect(newResults_, &QTimer::timeout, this, [this] {
        if (table_->verticalScrollBar()->value() == 0 &&
            !table_->selectionModel()->hasSelection()) {
            Refresh();
        } else {
            ShowCount();
            count_->setText(count_->text() +
                            QStringLiteral(" - newer results were kept: Find shows them"));
        }
    });
    connect(model_, &HistoryModel::counted, this, [this] {
        answered_ = true;
        ShowCount();
    });
    // A store that fails while the table paints is reported after the paint.
    connect(model_, &HistoryModel::problemMet, this, &CHistoryWindow::Warn, Qt::QueuedConnection);
    ShowCount();
    resize(table_->horizontalHeader()->length() + 40, 520);
}

QTableView* CHistoryWindow::BuildTable() {
    table_ = new QTableView;
    // Every row as high as the next, set before the model comes: the table
    // never measures a million rows.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->verticalHeader()->hide();
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    const int x = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[HistoryModel::kColumns] = {20, 12, 14, 9, 12, 10, 8, 8, 8};
    for (int column = 0; column < HistoryModel::kColumns; ++column) {
        table_->setColumnWidth(column, widths[column] * x + 12);
    }
    connect(table_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenRow(index.row()); });
    return table_;
}

CHistoryWindow::~CHistoryWindow() = default;

QGridLayout* CHistoryWindow::BuildFilters() {
    auto* grid = new QGridLayout;
    type_ = new QLineEdit;
    number_ = new QLineEdit;
    number_->setPlaceholderText(QStringLiteral("N or N-M"));
    station_ = new QLineEdit;
    verdict_ = new QComboBox;
    verdict_->addItems({QStringLiteral("Any"), QStringLiteral("PASS"), QStringLiteral("FAIL")});
    fromOn_ = new QCheckBox(QStringLiteral("Fro&m"));
    toOn_ = new QCheckBox(QStringLiteral("T&o"));
    const QDate today = QDate::currentDate();
    from_ = new QDateEdit(today);
    to_ = new QDateEdit(today);
    for (QDateEdit* edit : {from_, to_}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setEnabled(false);
    }
    connect(fromOn_, &QCheckBox::toggled, from_, &QWidget::setEnabled);
    connect(toOn_, &QCheckBox::toggled, to_, &QWidget::setEnabled);
    auto* find = new QPushButton(QStringLiteral("F&ind"));
    find->setDefault(true);
    connect(find, &QPushButton::clicked, this, [this] { Find(); });
    for (QLineEdit* edit : {type_, number_, station_}) {
        connect(edit, &QLineEdit::returnPressed, this, [this] { Find(); });
    }
    const auto label = [](const char* text, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(text));
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("T&ype:", type_), 0, 0);
    grid->addWidget(type_, 0, 1);
    grid->addWidget(label("&Number:", number_), 0, 2);
    grid->addWidget(number_, 0, 3);
    grid->addWidget(label("&Verdict:", verdict_), 0, 4);
    grid->addWidget(verdict_, 0, 5);
    grid->addWidget(label("&Station:", station_), 1, 0);
    grid->addWidget(station_, 1, 1);
    grid->addWidget(fromOn_, 1, 2);
    grid->addWidget(from_, 1, 3);
    grid->addWidget(toOn_, 1, 4);
    grid->addWidget(to_, 1, 5);
    grid->addWidget(find, 0, 6, 2, 1);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    return grid;
}

bool CHistoryWindow::Find() {
    ResultFilter filter;
    if (const QString type = type_->text(); !type.isEmpty()) {
        filter.type = type.toStdString();
    }
    if (const QString number = number_->text().trimmed(); !number.isEmpty()) {
        const std::optional<NumberRange> range = ParseNumberRange(number.toStdString());
        if (!range) {
            Warn(QStringLiteral("The number is a serial number N or a range N-M, not \"%1\".")
                     .arg(number));
            number_->setFocus();
            return false;
        }
        filter.numberFrom = range->from;
        filter.numberTo = range->to;
    }
    if (verdict_->currentIndex() > 0) {
        filter.pass = verdict_->currentIndex() == 1;
    }
    if (const QString station = station_->text().trimmed(); !station.isEmpty()) {
        filter.station = station.toStdString();
    }
    // Dates are the operator's own days, from midnight to midnight.
    if (fromOn_->isChecked()) {
        filter.sinceMs = QDateTime(from_->date(), QTime(0, 0)).toMSecsSinceEpoch();
    }
    if (toOn_->isChecked()) {
        filter.untilMs = QDateTime(to_->date().addDays(1), QTime(0, 0)).toMSecsSinceEpoch() - 1;
    }
    if (filter.sinceMs && filter.untilMs && *filter.sinceMs > *filter.untilMs) {
        Warn(QStringLiteral("The first day comes after the last."));
        return false;
    }
    model_->SetFilter(filter);
    ShowCount();
    return true;
}

void CHistoryWindow::Refresh() {
    // The rows shown stay selected by position: newer results come on top.
    model_->Refresh();
    ShowCount();
}

void CHistoryWindow::NoteNewResults() {
    if (!newResults_->isActive()) {
        newResults_->start();
    }
}

void CHistoryWindow::ShowCount() {
    const auto count = model_->Matching();
    cancel_->setVisible(model_->Counting() && !answered_);
    if (model_->Counting()) {
        if (!count) {
            count_->setText(answered_ ? QStringLiteral("Counting...")
                                      : QString::fromLatin1(kConnecting));
        }
        return;
    }
    count_->setText(count ? Counted(*count, "result", "results")
                          : QStringLiteral("The store cannot be read: %1")
                                .arg(QString::fromStdString(model_->Problem())));
}

void CHistoryWindow::Warn(const QString& text) {
    Tell(this, Severity::Warning, QString::fromLatin1(kAppTitle), text);
}

RowRanges CHistoryWindow::SelectedRanges() const {
    RowRanges ranges;
    for (const QItemSelectionRange& range : table_->selectionModel()->selection()) {
        ranges.emplace_back(range.top(), range.bottom());
    }
    std::sort(ranges.begin(), ranges.end());
    RowRanges merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

void CHistoryWindow::OpenRow(int row) {
    QPointer<CHistoryWindow> self(this);
    model_->Run([self, row](const HistoryReader::Lane& lane) {
        std::optional<Result> found;
        StoreStatus status = lane.opened;
        if (lane.pages) {
            status = lane.pages->Rows(row, 1, Detail::Full, [&found](const Result& result) {
                found = result;
                return true;
            });
        }
        lane.Tell([self, status, found = std::move(found)] {
            if (!self) {
                return;
            }
            if (!status || !found) {
                self->Warn(QString::fromStdString(
                    status ? "The result is no longer in the store: find it again"
                           : status.message));
                return;
            }
            if (self->open_) {
                self->open_(*found);
            }
            emit self->opened();
        });
    });
}

bool CHistoryWindow::Export(Writer write) {
    const RowRanges rows = SelectedRanges();
    if (rows.empty()) {
        Warn(QStringLiteral("Select the results to export first."));
        return false;
    }
    if (stopExport_) {
        Warn(QStringLiteral("An export is under way: wait for it to end."));
        return false;
    }
    std::int64_t total = 0;
    for (const auto& [first, last] : rows) {
        total += last - first + 1;
    }
    stopExport_ = std::make_shared<std::atomic<bool>>(false);
    if (total > static_cast<std::int64_t>(kQuietRead)) {
        progress_ = new QProgressDialog(
            QStringLiteral("Exporting the results..."), QStringLiteral("Cancel"), 0,
            static_cast<int>(std::min<std::int64_t>(total, INT_MAX)), this);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(500);
        connect(progress_, &QProgressDialog::canceled, this,
                [stop = stopExport_] { *stop = true; });
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<CHistoryWindow> self(this);
    model_->Run([self, rows, write = std::move(write),
                 stop = stopExport_](const HistoryReader::Lane& lane) {
        HistoryExport outcome;
        outcome.read = lane.opened;
        if (lane.pages) {
            outcome = write(*lane.pages, rows, [&lane, self, stop](std::int64_t done) {
                if (done % 1000 == 0) {
                    lane.Tell([self, done] {
                        if (self && self->progress_) {
                            self->progress_->setValue(static_cast<int>(done));
                        }
                    });
                }
                return !*stop && !*lane.abandoned;
            });
        }
        lane.Tell([self, outcome] {
            if (self) {
                self->Exported(outcome);
            }
        });
    });
    return true;
}

void CHistoryWindow::Exported(const HistoryExport& outcome) {
    QApplication::restoreOverrideCursor();
    delete progress_;
    progress_ = nullptr;
    stopExport_.reset();
    if (!outcome.read) {
        Warn(QString::fromStdString(outcome.read.message));
    } else if (!outcome.file) {
        Warn(QStringLiteral("Cannot write \"%1\":\n%2.")
                 .arg(QString::fromStdString(outcome.path),
                      QString::fromStdString(outcome.file.Describe())));
    }
    emit exported(outcome.ok());
}

bool CHistoryWindow::ExportCsv(const QString& path) {
    return Export([path = path.toStdString()](HistoryPages& pages, const RowRanges& rows,
                                              const std::function<bool(std::int64_t)>& goOn) {
        return ExportHistoryCsv(pages, rows, path, goOn);
    });
}

bool CHistoryWindow::ExportTestFiles(const QString& folder) {
    return Export([folder = QDir(folder).absolutePath().toStdString()](
                      HistoryPages& pages, const RowRanges& rows,
                      const std::function<bool(std::int64_t)>& goOn) {
        return ExportHistoryTestFiles(pages, rows, folder, goOn);
    });
}

void CHistoryWindow::AskCsv() {
    QFileDialog dialog(this, QStringLiteral("Export CSV"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QStringLiteral("CSV Files (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("history.csv"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        ExportCsv(dialog.selectedFiles().constFirst());
    }
}

void CHistoryWindow::AskTestFiles() {
    QFileDialog dialog(this, QStringLiteral("Export Test Files"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        ExportTestFiles(dialog.selectedFiles().constFirst());
    }
}

}  // namespace zx840
