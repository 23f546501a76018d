#include "app/trend_panel.h"

#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "record/product_identity.h"
#include "session/meter_session.h"
#include "view/plot_box.h"
#include "view/trend_plot.h"

namespace zx840 {
namespace {

const QString kReadingsKey = QStringLiteral("Trend/Readings");
constexpr int kStatColumns = 5;  // reading, min, mean, max, sigma

QString Significant(double value) {
    return QString::number(value, 'g', 6);  // "C" formatting, whatever the locale
}

QString ReadingTitle(PlanReading reading) {
    QString title = QString::fromLatin1(PlanReadingName(reading));
    if (const QString unit = QString::fromLatin1(TrendReadingUnit(reading)); !unit.isEmpty()) {
        title += QStringLiteral(" (%1)").arg(unit);
    }
    return title;
}

std::vector<PlanReading> LoadReadings() {
    std::vector<PlanReading> readings;
    for (const QString& name : QSettings().value(kReadingsKey).toStringList()) {
        for (std::size_t i = 0; i < kPlanReadings; ++i) {
            const auto reading = static_cast<PlanReading>(i);
            if (name == QLatin1String(PlanReadingName(reading)) &&
                std::find(readings.begin(), readings.end(), reading) == readings.end()) {
                readings.push_back(reading);
            }
        }
    }
    if (readings.empty()) {
        readings.assign(std::begin(kDefaultTrendReadings), std::end(kDefaultTrendReadings));
    }
    return readings;
}

}  // namespace

CTrendPanel::CTrendPanel(MeterSession& session, QWidget* parent)
    : QDockWidget(QString::fromLatin1(kTrendPanelTitle), parent),
      session_(session),
      readings_(LoadReadings()),
      chart_(new PlotBox),
      counts_(new QLabel(QString::fromLatin1(kTrendNoRun))),
      stats_(new QTableWidget(0, kStatColumns)) {
    setObjectName(QStringLiteral("TrendPanel"));
    setAllowedAreas(Qt::AllDockWidgetAreas);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    auto* buttons = new QHBoxLayout;
    auto* choose = new QToolButton;
    choose->setText(QStringLiteral("Readings"));
    choose->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(choose);
    BuildReadingsMenu(menu);
    choose->setMenu(menu);
    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."));
    connect(exportButton, &QPushButton::clicked, this, &CTrendPanel::OnExport);
    buttons->addWidget(choose);
    buttons->addWidget(exportButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    counts_->setWordWrap(true);
    counts_->setTextFormat(Qt::PlainText);
    layout->addWidget(counts_);
    chart_->setMinimumSize(320, 200);
    chart_->installEventFilter(this);
    layout->addWidget(chart_, 1);
    stats_->setHorizontalHeaderLabels({QStringLiteral("Reading"), QStringLiteral("Min"),
                                       QStringLiteral("Mean"), QStringLiteral("Max"),
                                       QStringLiteral("\u03c3")});
    stats_->verticalHeader()->hide();
    stats_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stats_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(stats_);
    setWidget(body);

    connect(&session_, &MeterSession::continuousStarted, this, &CTrendPanel::StartRun);
    connect(&session_, &MeterSession::measured, this, &CTrendPanel::OnMeasured);
    connect(&session_, &MeterSession::failed, this, &CTrendPanel::OnFailed);
    connect(&session_, &MeterSession::planChanged, this, &CTrendPanel::Redraw);
    ShowStatistics();
}

void CTrendPanel::BuildReadingsMenu(QMenu* menu) {
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const auto reading = static_cast<PlanReading>(i);
        QAction* action = menu->addAction(ReadingTitle(reading));
        action->setCheckable(true);
        action->setData(static_cast<int>(i));
        connect(action, &QAction::toggled, this, [this, reading](bool on) {
            std::vector<PlanReading> chosen = readings_;
            const auto found = std::find(chosen.begin(), chosen.end(), reading);
            if (on && found == chosen.end()) {
                chosen.push_back(reading);
            } else if (!on && found != chosen.end() && chosen.size() > 1) {
                chosen.erase(found);  // one reading always stays
            }
            SetReadings(std::move(chosen));
        });
    }
    // The marks follow the choice, whoever made it.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction* action : menu->actions()) {
            const QSignalBlocker quiet(action);
            const auto reading = static_cast<PlanReading>(action->data().toInt());
            action->setChecked(std::find(readings_.begin(), readings_.end(), reading) !=
                               readings_.end());
        }
    });
}

void CTrendPanel::SetReadings(std::vector<PlanReading> readings) {
    if (readings.empty()) {
        return;
    }
    readings_ = std::move(readings);
    QStringList names;
    for (const PlanReading reading : readings_) {
        names << QString::fromLatin1(PlanReadingName(reading));
    }
    QSettings().setValue(kReadingsKey, names);
    Redraw();
    ShowStatistics();
}

void CTrendPanel::StartRun() {
    start_ = std::chrono::steady_clock::now();
    run_ = true;
    series_.Clear();
    summary_ = RunSummary{};
    summary_.judged = session_.Plan().has_value();
    Redraw();
    ShowStatistics();
}

void CTrendPanel::OnMeasured(const SessionMeasurement& measurement) {
    if (!run_ || measurement.origin != MeasureOrigin::Continuous) {
        return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const TrendPoint point = TrendPointOf(seconds, measurement.working, measurement.verdict);
    series_.Add(point);
    summary_.Add(point);
    Refresh();
}

void CTrendPanel::Refresh() {
    if (refreshPending_) {
        return;
    }
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPending_ = false;
        Redraw();
        ShowStatistics();
    });
}

void CTrendPanel::OnFailed(const SessionFailure& failure) {
    if (run_ && failure.origin == MeasureOrigin::Continuous) {
        summary_.AddFailedExchange();
        Refresh();
    }
}

void CTrendPanel::Redraw() {
    const QSize size = chart_->ClientSize();
    const TestPlan* plan = session_.Plan() ? &*session_.Plan() : nullptr;
    chart_->SetPicture(TrendChart(series_, readings_, plan, size.width(), size.height()));
}

const DrawList& CTrendPanel::Chart() const {
    return chart_->Picture();
}

bool CTrendPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_ && event->type() == QEvent::Resize) {
        Redraw();
    }
    return QDockWidget::eventFilter(watched, event);
}

void CTrendPanel::ShowStatistics() {
    if (!run_) {
        counts_->setText(QString::fromLatin1(kTrendNoRun));
    } else {
        QString text = QStringLiteral("Run of %1: %2 measured, %3 failed exchanges")
                           .arg(QString::fromStdString(DurationText(summary_.seconds)))
                           .arg(summary_.good)
                           .arg(summary_.failed);
        if (summary_.judged) {
            text +=
                QStringLiteral(", %1 PASS, %2 FAIL").arg(summary_.passed).arg(summary_.judgedFail);
        }
        text += QStringLiteral("; energy %1 Wh").arg(Significant(summary_.energyWh));
        if (summary_.firstFailSeconds) {
            text += QStringLiteral("; first FAIL after %1 (measurement %2)")
                        .arg(QString::fromStdString(DurationText(*summary_.firstFailSeconds)))
                        .arg(summary_.firstFailNumber);
        }
        counts_->setText(text);
    }
    stats_->setRowCount(static_cast<int>(readings_.size()));
    for (int row = 0; row < stats_->rowCount(); ++row) {
        const PlanReading reading = readings_[static_cast<std::size_t>(row)];
        const RunningStats& stats = summary_.Of(reading);
        const auto sigma = stats.Sigma();
        const QString cells[kStatColumns] = {ReadingTitle(reading),
                                             stats.count > 0 ? Significant(stats.min) : QString(),
                                             stats.count > 0 ? Significant(stats.mean) : QString(),
                                             stats.count > 0 ? Significant(stats.max) : QString(),
                                             sigma ? Significant(*sigma) : QString()};
        for (int column = 0; column < kStatColumns; ++column) {
            stats_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    // As high as its rows, the rest for the chart.
    stats_->resizeRowsToContents();
    int height = stats_->horizontalHeader()->height() + 2 * stats_->frameWidth();
    for (int row = 0; row < stats_->rowCount(); ++row) {
        height += stats_->rowHeight(row);
    }
    stats_->setFixedHeight(height);
}

QString CTrendPanel::CountsText() const {
    return counts_->text();
}

QString CTrendPanel::StatCell(int row, int column) const {
    const QTableWidgetItem* item = stats_->item(row, column);
    return item != nullptr ? item->text() : QString();
}

FileStatus CTrendPanel::ExportCsv(const QString& path) const {
    return WriteFileAtomically(path.toStdString(), TrendCsv(series_));
}

void CTrendPanel::OnExport() {
    const QString path = QFileDialog::getSaveFileName(
        this, QString::fromLatin1(kTrendExportTitle), QStringLiteral("trend.csv"),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    if (const FileStatus status = ExportCsv(path); !status) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle),
                        QStringLiteral("Cannot write %1: %2")
                            .arg(path, QString::fromStdString(status.Describe())),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

}  // namespace zx840
