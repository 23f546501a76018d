// The Trend panel: the run of the continuous test in view. Fed by the meter
// session's measurements of the continuous test (not by the measurement
// panel), it shows the chosen readings over the time since the run began
// with the active plan's limits and the FAIL points, and the run's counts,
// each reading's minimum, mean, maximum and standard deviation and the
// energy. A new continuous test starts a new run. Hidden until View, Trend.
#pragma once

#include <QDockWidget>
#include <QString>
#include <chrono>
#include <vector>

#include "draw/draw_ops.h"
#include "record/file_io.h"
#include "session/run_trend.h"

class QLabel;
class QMenu;
class QTableWidget;

namespace zx840 {

class MeterSession;
class PlotBox;
struct SessionFailure;
struct SessionMeasurement;

inline constexpr char kTrendPanelTitle[] = "Trend";
inline constexpr char kTrendExportTitle[] = "Export CSV";
inline constexpr char kTrendNoRun[] = "No continuous test has run yet.";

class CTrendPanel : public QDockWidget {
    Q_OBJECT
  public:
    CTrendPanel(MeterSession& session, QWidget* parent);

    // The readings the chart and the table show, in the order given; kept
    // in the per-user settings.
    void SetReadings(std::vector<PlanReading> readings);
    const std::vector<PlanReading>& Readings() const { return readings_; }

    // The run as CSV (TrendCsv), written whole or not at all.
    FileStatus ExportCsv(const QString& path) const;

    // For tests: what the panel holds and shows.
    const RunSummary& Summary() const { return summary_; }
    const TrendSeries& Series() const { return series_; }
    const DrawList& Chart() const;
    QString CountsText() const;
    QString StatCell(int row, int column) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void StartRun();
    void OnMeasured(const SessionMeasurement& measurement);
    void OnFailed(const SessionFailure& failure);
    void Redraw();
    void ShowStatistics();
    // Redraws once the measurements that came together are all taken in.
    void Refresh();
    void OnExport();
    void BuildReadingsMenu(QMenu* menu);

    MeterSession& session_;
    std::vector<PlanReading> readings_;
    std::chrono::steady_clock::time_point start_;  // of the run in view
    bool run_ = false;                             // a run has begun
    bool refreshPending_ = false;
    TrendSeries series_;
    RunSummary summary_;
    PlotBox* chart_;
    QLabel* counts_;
    QTableWidget* stats_;
};

}  // namespace zx840
