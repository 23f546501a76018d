// The Trend panel during a continuous test on the simulated meter.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "app/main_frame.h"
#include "app/plan_controller.h"
#include "app/trend_panel.h"
#include "app/zx840_app.h"
#include "commands/command_ids.h"
#include "record/file_io.h"
#include "tests/gui_helpers.h"
#include "tests/gui_meter.h"
#include "view/trend_plot.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

// The numbers of the exported CSV by column name (it quotes nothing); an
// empty cell is a reading without a value.
std::map<std::string, std::vector<double>> ReadColumns(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> names;
    std::map<std::string, std::vector<double>> columns;
    for (std::string line; std::getline(in, line);) {
        std::istringstream cells(line.substr(0, line.find('\r')));
        for (std::size_t i = 0; std::getline(cells, line, ','); ++i) {
            if (names.size() <= i) {
                names.push_back(line);
            } else if (!line.empty()) {
                columns[names[i]].push_back(std::stod(line));
            }
        }
    }
    return columns;
}

std::size_t Count(const DrawList& ops, const DrawOp& wanted) {
    return static_cast<std::size_t>(std::count(ops.begin(), ops.end(), wanted));
}

class TrendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = testing::StartMeterFor("ZX840_COM1", {});
        ASSERT_TRUE(sim_);
        ASSERT_TRUE(app_.InitInstance({}));
        frame_ = app_.Frame();
        view_ = app_.View();
        trend_ = frame_->Trend();
    }
    void TearDown() override { unsetenv("ZX840_COM1"); }

    // A continuous test of `count` measurements (one more may follow the
    // stop), the load growing by 0.1 A at each.
    int Run(int count) {
        int measured = 0;
        QObject context;
        QObject::connect(app_.Session(), &MeterSession::measured, &context, [&] {
            ++measured;
            load_.loadAmps += 0.1;
            sim_->SetLoad(load_);
            if (measured == count) {
                view_->StopContinuousTest();
            }
        });
        frame_->UpdateCommandStates();
        frame_->Action(kCmdContinuousStart)->trigger();
        EXPECT_TRUE(testing::WaitUntil(
            [&] { return !view_->ContinuousTest() && !view_->ExchangeInProgress(); }, 60000));
        QCoreApplication::processEvents();
        return measured;
    }

    std::unique_ptr<MeterSimulator> sim_;
    LoadSettings load_;
    QTemporaryDir dir_;
    CZX840ENApp app_{dir_.path()};
    CMainFrame* frame_ = nullptr;
    CZX840ENView* view_ = nullptr;
    CTrendPanel* trend_ = nullptr;
};

TEST_F(TrendTest, AContinuousRunFillsTheTrendWhoseStatisticsMatchItsCsv) {
    // Hidden until View, Trend.
    frame_->UpdateCommandStates();
    EXPECT_FALSE(trend_->isVisibleTo(frame_));
    EXPECT_FALSE(frame_->Action(kCmdViewTrend)->isChecked());
    frame_->Action(kCmdViewTrend)->trigger();
    EXPECT_TRUE(trend_->isVisibleTo(frame_));
    EXPECT_TRUE(frame_->Action(kCmdViewTrend)->isChecked());

    // 230 W at first, then 23 W more at each: the fifth passes 300 W.
    const std::string plan = dir_.filePath("psu.zx8plan").toStdString();
    ASSERT_TRUE(WriteFileAtomically(plan, R"({"Power":{"min":200,"max":300}})"));
    app_.Plans()->SetChoice({PlanChoice::Mode::File, plan, dir_.path().toStdString()});
    const int measured = Run(6);
    const RunSummary& summary = trend_->Summary();
    EXPECT_EQ(summary.good, measured);
    EXPECT_EQ(trend_->Series().Points(), measured);
    // Comm Pass belongs to no run.
    EXPECT_EQ(testing::CommPass(view_), 1);
    EXPECT_EQ(summary.good, measured);

    // The statistics, computed again from the exported CSV.
    const std::string csv = dir_.filePath("trend.csv").toStdString();
    ASSERT_TRUE(trend_->ExportCsv(QString::fromStdString(csv)));
    auto columns = ReadColumns(csv);
    const std::vector<double>& seconds = columns["Seconds"];
    const std::vector<double>& fails = columns["Fails"];
    ASSERT_EQ(seconds.size(), static_cast<std::size_t>(measured));
    double energyWh = 0.0;
    const std::vector<double>& power = columns["Power"];
    for (std::size_t i = 1; i < power.size(); ++i) {
        energyWh += (power[i - 1] + power[i]) / 2 * (seconds[i] - seconds[i - 1]) / 3600;
    }
    EXPECT_NEAR(summary.energyWh, energyWh, 1e-9 * energyWh);
    const auto firstFail = std::find(fails.begin(), fails.end(), 1.0);
    ASSERT_NE(firstFail, fails.end());
    EXPECT_EQ(firstFail - fails.begin(), 4);
    EXPECT_EQ(summary.firstFailSeconds, seconds[4]);
    EXPECT_EQ(summary.judgedFail, std::count(fails.begin(), fails.end(), 1.0));
    EXPECT_EQ(summary.passed, 4);
    for (int row = 0; row < 4; ++row) {
        const PlanReading reading = trend_->Readings()[static_cast<std::size_t>(row)];
        const std::vector<double>& values = columns[PlanReadingName(reading)];
        double mean = 0.0;
        for (const double v : values) {
            mean += v / static_cast<double>(values.size());
        }
        double squares = 0.0;
        for (const double v : values) {
            squares += (v - mean) * (v - mean);
        }
        const double sigma = std::sqrt(squares / static_cast<double>(values.size() - 1));
        const double shown[] = {*std::min_element(values.begin(), values.end()), mean,
                                *std::max_element(values.begin(), values.end()), sigma};
        for (int column = 1; column <= 4; ++column) {
            const double expected = shown[column - 1];
            EXPECT_NEAR(trend_->StatCell(row, column).toDouble(), expected,
                        1e-5 * std::abs(expected) + 1e-12)
                << PlanReadingName(reading) << " column " << column;
        }
    }

    // The chart: the plan's two Power limits as lines, a cross on every
    // strip for each FAIL.
    const DrawList& chart = trend_->Chart();
    EXPECT_EQ(Count(chart, DrawOp{kTrendLimitPen}), 1u);
    EXPECT_EQ(Count(chart, DrawOp{kTrendFailPen}), 4u);
    EXPECT_GE(Count(chart, DrawOp{kTrendTracePen}), 4u);
    EXPECT_NE(trend_->CountsText().indexOf(
                  QStringLiteral("%1 PASS, %2 FAIL").arg(4).arg(summary.judgedFail)),
              -1)
        << trend_->CountsText().toStdString();

    // A new run starts a new trend.
    load_ = LoadSettings{};
    sim_->SetLoad(load_);
    const int again = Run(1);
    EXPECT_GE(again, 1);
    EXPECT_EQ(trend_->Summary().good, again);
    EXPECT_EQ(trend_->Summary().judgedFail, 0);
    EXPECT_FALSE(trend_->Summary().firstFailSeconds);
}

// Decimated, the trend keeps its extremes and its FAIL.
TEST(TrendPanel, AHundredThousandMeasurementsLeaveItsMemoryFlatAndTheirExtremesInSight) {
    MeterSession session;
    CTrendPanel panel(session, nullptr);
    emit session.continuousStarted();
    SessionMeasurement measurement;
    measurement.origin = MeasureOrigin::Continuous;
    measurement.working.DataValid = 1;
    const std::size_t reserved = panel.Series().Buckets().capacity();
    std::size_t most = 0;
    for (int i = 0; i < 100000; ++i) {
        const int spike = i == 77777 ? 50 : i == 4242 ? -60 : 0;
        measurement.working.Record.Power = static_cast<float>(100 + i % 7 + spike);
        measurement.verdict = Verdict{i != 55555, "plan", {}, {}, false};
        emit session.measured(measurement);
        most = std::max(most, panel.Series().Buckets().size());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.Summary().good, 100000);
    EXPECT_LE(most, panel.Series().Capacity());
    EXPECT_EQ(panel.Series().Buckets().capacity(), reserved);
    std::int64_t points = 0;
    std::vector<double> failed;
    constexpr auto kPower = static_cast<std::size_t>(PlanReading::Power);
    double low = 1e9;
    double high = -1e9;
    for (const TrendBucket& bucket : panel.Series().Buckets()) {
        points += bucket.points;
        low = std::min(low, bucket.min[kPower]);
        high = std::max(high, bucket.max[kPower]);
        if (bucket.fails > 0) {
            failed.push_back(bucket.failValues[kPower]);
        }
    }
    EXPECT_EQ(points, 100000);
    EXPECT_EQ(low, 40.0);  // the two lone spikes
    EXPECT_EQ(high, 150.0);
    EXPECT_EQ(failed, std::vector<double>{100 + 55555 % 7});
    EXPECT_EQ(panel.StatCell(0, 1), QStringLiteral("40"));   // 100 + 4242 % 7 - 60
    EXPECT_EQ(panel.StatCell(0, 3), QStringLiteral("150"));  // 100 + 77777 % 7 + 50
}

}  // namespace
}  // namespace zx840
