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
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "record/file_io.h"
#include "record/file_names.h"
#include "record/product_identity.h"
#include "record/test_file.h"
#include "store/result_text.h"
#include "view/history_model.h"

namespace zx840 {

namespace {

// More selected rows than this are read with a progress dialog.
constexpr std::size_t kQuietRead = 2000;

QString Counted(std::int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

}  // namespace

CHistoryWindow::CHistoryWindow(std::unique_ptr<ResultsStore> store,
                               std::function<void(const Result&)> open, QWidget* parent)
    : QWidget(parent, Qt::Window), open_(std::move(open)) {
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(kHistoryTitle),
                                                 QString::fromStdString(store->Url().Display())));
    model_ = new HistoryModel(std::move(store), this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(BuildFilters());

    table_ = new QTableView;
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    // Every row as high as the next: the table never measures a million rows.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    const int x = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[HistoryModel::kColumns] = {20, 12, 14, 9, 12, 10, 8, 8, 8};
    for (int column = 0; column < HistoryModel::kColumns; ++column) {
        table_->setColumnWidth(column, widths[column] * x + 12);
    }
    connect(table_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenRow(index.row()); });
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    count_ = new QLabel;
    buttons->addWidget(count_, 1);
    auto* openButton = new QPushButton(QStringLiteral("&Open"));
    auto* csvButton = new QPushButton(QStringLiteral("Export &CSV..."));
    auto* filesButton = new QPushButton(QStringLiteral("Export Test &Files..."));
    auto* closeButton = new QPushButton(QStringLiteral("Close"));
    for (QPushButton* button : {openButton, csvButton, filesButton, closeButton}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    connect(openButton, &QPushButton::clicked, this, [this] {
        const std::vector<int> rows = SelectedRows();
        if (!rows.empty()) {
            OpenRow(rows.front());
        }
    });
    connect(csvButton, &QPushButton::clicked, this, &CHistoryWindow::AskCsv);
    connect(filesButton, &QPushButton::clicked, this, &CHistoryWindow::AskTestFiles);
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
    // A store that fails while the table paints is reported after the paint.
    connect(model_, &HistoryModel::problemMet, this, &CHistoryWindow::Warn, Qt::QueuedConnection);
    ShowCount();
    resize(table_->horizontalHeader()->length() + 40, 520);
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
        std::int32_t from = 0;
        std::int32_t to = 0;
        if (!ParseNumberRange(number.toStdString(), from, to)) {
            Warn(QStringLiteral("The number is a serial number N or a range N-M, not \"%1\".")
                     .arg(number));
            number_->setFocus();
            return false;
        }
        filter.numberFrom = from;
        filter.numberTo = to;
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
    count_->setText(count ? Counted(*count, "result", "results")
                          : QStringLiteral("The store cannot be read: %1")
                                .arg(QString::fromStdString(model_->Problem())));
}

void CHistoryWindow::Warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    this);
    box.exec();
}

std::vector<int> CHistoryWindow::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CHistoryWindow::OpenRow(int row) {
    std::vector<Result> found;
    const StoreStatus status = model_->ReadRows({row}, true, found);
    if (!status || found.size() != 1) {
        Warn(QString::fromStdString(status.message));
        return;
    }
    if (open_) {
        open_(found.front());
    }
}

bool CHistoryWindow::ReadSelected(bool full, std::vector<Result>& out) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        Warn(QStringLiteral("Select the results to export first."));
        return false;
    }
    std::unique_ptr<QProgressDialog> progress;
    if (rows.size() > kQuietRead) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("Reading the results..."),
                                                     QStringLiteral("Cancel"), 0,
                                                     static_cast<int>(rows.size()), this);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(500);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const StoreStatus status = model_->ReadRows(rows, full, out, [&progress](std::size_t done) {
        if (!progress) {
            return true;
        }
        progress->setValue(static_cast<int>(done));
        return !progress->wasCanceled();
    });
    QApplication::restoreOverrideCursor();
    if (!status) {
        if (!status.message.empty()) {
            Warn(QString::fromStdString(status.message));
        }
        return false;
    }
    return true;
}

bool CHistoryWindow::ExportCsv(const QString& path) {
    std::vector<Result> results;
    if (!ReadSelected(false, results)) {
        return false;
    }
    std::string csv;
    AppendResultCsvHeader(csv);
    for (const Result& result : results) {
        AppendResultCsv(csv, result);
    }
    if (const FileStatus status = WriteFileAtomically(path.toStdString(), csv); !status) {
        Warn(QStringLiteral("Cannot write \"%1\":\n%2.")
                 .arg(path, QString::fromStdString(status.Describe())));
        return false;
    }
    return true;
}

bool CHistoryWindow::ExportTestFiles(const QString& folder) {
    std::vector<Result> results;
    if (!ReadSelected(true, results)) {
        return false;
    }
    const std::string base = QDir(folder).absolutePath().toStdString() + "/";
    const std::string extension = std::string(".") + kTestFileExtension;
    for (const Result& result : results) {
        const auto stem = FirstFreeStem(ProductFileStem(result.mark), [&](const std::string& s) {
            return QFileInfo::exists(QString::fromStdString(base + s + extension));
        });
        const std::string path = base + (stem ? *stem : std::string()) + extension;
        const FileStatus status =
            stem ? WriteFileAtomically(path, SerializeTest(result.mark, result.working.Record))
                 : FileStatus{};
        if (!stem || !status) {
            Warn(QStringLiteral("Cannot write \"%1\":\n%2.")
                     .arg(QString::fromStdString(path),
                          stem ? QString::fromStdString(status.Describe())
                               : QStringLiteral("every free name of it is taken")));
            return false;
        }
    }
    return true;
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
