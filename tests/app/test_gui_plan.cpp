// A test plan in the window: the Verdict panel appears only while a plan is
// active, shows FAIL with the failing checks first, the harmonic list marks
// the failing orders, and without a plan everything is as it always was.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/main_frame.h"
#include "app/plan_controller.h"
#include "app/plan_dlg.h"
#include "app/store_controller.h"
#include "app/verdict_panel.h"
#include "app/zx840_app.h"
#include "commands/command_ids.h"
#include "meter/sim/meter_simulator.h"
#include "store/results_store.h"
#include "tests/gui_helpers.h"
#include "tests/gui_meter.h"
#include "view/harmonic_list.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

class PlanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SimulatorOptions options;
        options.load.kind = LoadKind::Rectifier;
        options.load.loadAmps = 6.0;
        sim_ = testing::StartMeterFor("ZX840_COM1", options);
        ASSERT_TRUE(sim_);
        ASSERT_TRUE(app_.InitInstance({}));
        view_ = app_.View();
        plans_ = app_.Plans();
        plans_->SetChoice({PlanChoice::Mode::ByType, {}, plans_dir_.path().toStdString()});
    }
    void TearDown() override { unsetenv("ZX840_COM1"); }

    void WritePlan(const char* name, const char* json) {
        std::ofstream(plans_dir_.filePath(QString::fromLatin1(name)).toStdString()) << json;
    }
    void SetType(const char* type) {
        ProductMark mark = view_->Mark();
        mark.Type = type;
        view_->OnMarkChanged(mark, MarkChange::AllButTestday);
    }
    bool PanelShown() const { return plans_->Panel()->isVisible(); }

    std::unique_ptr<MeterSimulator> sim_;
    QTemporaryDir settings_;
    QTemporaryDir plans_dir_;
    CZX840ENApp app_{settings_.path()};
    CZX840ENView* view_ = nullptr;
    PlanController* plans_ = nullptr;
};

TEST_F(PlanTest, AFailingPlanShowsFailFirstAndNoPlanLeavesAllAsItWas) {
    // No plan for this type: no panel, no verdict, a report without its line.
    ASSERT_EQ(testing::CommPass(view_), 1);
    EXPECT_FALSE(view_->ActivePlan());
    EXPECT_FALSE(view_->CurrentVerdict());
    EXPECT_FALSE(PanelShown());
    EXPECT_EQ(view_->List()->item(1, 2)->foreground().color(), QColor(Qt::black));

    // The plan of the product's type is chosen when the type changes.
    WritePlan("psu.zx8plan",
              R"({"Type": "PSU", "Urms": {"min": 200, "max": 260}, "Iec61000_3_2": "A"})");
    SetType("PSU");
    ASSERT_TRUE(view_->ActivePlan());
    EXPECT_EQ(view_->ActivePlan()->name, "psu");
    ASSERT_TRUE(view_->CurrentVerdict());
    EXPECT_FALSE(view_->CurrentVerdict()->pass);
    EXPECT_TRUE(PanelShown());
    const CVerdictPanel* panel = plans_->Panel();
    EXPECT_EQ(panel->ResultText(), "FAIL");
    EXPECT_EQ(panel->PlanText(), "Plan: psu");
    ASSERT_EQ(panel->CheckRows(), 40);  // Urms, then orders 2 to 40
    EXPECT_EQ(panel->CheckCell(0, 4), "FAIL");
    EXPECT_EQ(panel->CheckCell(0, 0), "IEC I3");
    EXPECT_EQ(panel->CheckCell(panel->CheckRows() - 1, 4), "pass");
    // Order 3 of the current is marked in the list; the voltage cell is not.
    EXPECT_EQ(view_->List()->item(1, 2)->foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(view_->List()->item(1, 0)->foreground().color(), QColor(255, 0, 0));
    EXPECT_NE(view_->List()->item(1, 1)->foreground().color(), QColor(255, 0, 0));

    // A new acquisition is judged again.
    const std::size_t before = sim_->Requests().size();
    ASSERT_EQ(testing::CommPass(view_), 1);
    EXPECT_EQ(sim_->Requests().size(), before + 1);
    EXPECT_EQ(panel->ResultText(), "FAIL");

    // An explicit choice wins over the type; a plan the load meets passes.
    WritePlan("loose.zx8plan", R"({"Urms": {"min": 200}})");
    plans_->SetChoice({PlanChoice::Mode::File, plans_dir_.filePath("loose.zx8plan").toStdString(),
                       plans_dir_.path().toStdString()});
    EXPECT_EQ(view_->ActivePlan()->name, "loose");
    EXPECT_EQ(panel->ResultText(), "PASS");
    EXPECT_EQ(view_->List()->item(1, 2)->foreground().color(), QColor(Qt::black));

    // No plan: the panel goes, nothing is judged.
    plans_->SetChoice({PlanChoice::Mode::None, {}, plans_dir_.path().toStdString()});
    EXPECT_FALSE(view_->ActivePlan());
    EXPECT_FALSE(view_->CurrentVerdict());
    EXPECT_FALSE(PanelShown());
}

// A plan that breaks while in use (an edit left a trailing comma) is no
// reason to stop judging silently: the refusal is shown, and what is
// measured meanwhile is kept marked as not judged.
TEST_F(PlanTest, ARefusedPlanIsShownAndItsMeasurementsAreKeptAsNotJudged) {
    WritePlan("psu.zx8plan", R"({"Type": "PSU", "Urms": {"min": 200}})");
    SetType("PSU");
    ASSERT_TRUE(view_->ActivePlan());
    WritePlan("psu.zx8plan", R"({"Type": "PSU", "Urms": {"min": 200},})");
    const testing::SeenMessage box = testing::AnswerMessageBoxes([&] { SetType("PSU"); });
    EXPECT_TRUE(box.shown);
    EXPECT_FALSE(view_->ActivePlan());
    EXPECT_FALSE(view_->CurrentVerdict());
    const auto refusalShown = [this] {
        for (const QLabel* label : app_.Frame()->statusBar()->findChildren<QLabel*>()) {
            if (label->isVisible() && label->text().startsWith("Plan refused: ")) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(refusalShown());
    EXPECT_TRUE(PanelShown());
    EXPECT_TRUE(plans_->Panel()->PlanText().startsWith("Plan refused: "))
        << plans_->Panel()->PlanText().toStdString();
    EXPECT_NE(plans_->Panel()->PlanText().indexOf("psu.zx8plan"), -1);

    ASSERT_EQ(testing::CommPass(view_), 1);
    app_.Store()->Flush();
    StoreStatus status;
    StoreUrl url;
    url.path = DefaultStorePath();
    const auto store = ResultsStore::Open(url, &status);
    ASSERT_TRUE(store) << status.message;
    std::vector<Result> kept;
    ASSERT_TRUE(store->Find({}, 0, 1, Detail::Summary, kept));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_FALSE(kept[0].verdict);
    EXPECT_EQ(kept[0].unjudged.rfind("Plan refused: ", 0), 0u) << kept[0].unjudged;

    // Mended: judged again, the refusal gone.
    WritePlan("psu.zx8plan", R"({"Type": "PSU", "Urms": {"min": 200}})");
    SetType("PSU");
    EXPECT_TRUE(view_->CurrentVerdict());
    EXPECT_FALSE(refusalShown());
    EXPECT_EQ(plans_->Panel()->PlanText(), "Plan: psu");
}

// A kept result shows the verdict it was given, under that plan's name,
// whatever today's plan says or whether there is one; judging it again is a
// command of its own, and says so.
TEST_F(PlanTest, AKeptResultShowsItsOwnVerdictUntilJudgedAgain) {
    WritePlan("psu.zx8plan", R"({"Type": "PSU", "Power": {"max": 66}})");
    SetType("PSU");
    ASSERT_EQ(testing::CommPass(view_), 1);
    ASSERT_FALSE(view_->CurrentVerdict()->pass);
    app_.Store()->Flush();
    StoreStatus status;
    StoreUrl url;
    url.path = DefaultStorePath();
    std::vector<Result> kept;
    {
        const auto store = ResultsStore::Open(url, &status);
        ASSERT_TRUE(store) << status.message;
        ASSERT_TRUE(store->Find({}, 0, 1, Detail::Full, kept));
    }
    ASSERT_EQ(kept.size(), 1u);

    // The plan is loosened; the kept FAIL stays a FAIL.
    WritePlan("psu.zx8plan", R"({"Type": "PSU", "Power": {"max": 100000}})");
    app_.ShowKeptResult(kept[0]);
    ASSERT_TRUE(view_->CurrentVerdict());
    EXPECT_FALSE(view_->CurrentVerdict()->pass);
    EXPECT_EQ(view_->CurrentVerdict()->Line(), "Verdict: FAIL (1 check failed)");
    EXPECT_EQ(plans_->Panel()->ResultText(), "FAIL");
    EXPECT_EQ(plans_->Panel()->PlanText(), "Plan: psu");
    EXPECT_TRUE(plans_->Panel()->NoteText().startsWith(kKeptVerdictNote));
    EXPECT_EQ(app_.Router().State(kCmdJudgeAgain).enabled, true);

    app_.Router().Dispatch(kCmdJudgeAgain);
    ASSERT_TRUE(view_->CurrentVerdict());
    EXPECT_EQ(view_->CurrentVerdict()->Line(), "Verdict (judged again): PASS");
    EXPECT_EQ(plans_->Panel()->ResultText(), "PASS");
    EXPECT_TRUE(plans_->Panel()->NoteText().startsWith(kJudgedAgainNote));

    // No plan at all today: the kept verdict still shows.
    std::filesystem::remove(plans_dir_.filePath("psu.zx8plan").toStdString());
    plans_->Update();
    app_.ShowKeptResult(kept[0]);
    EXPECT_FALSE(view_->ActivePlan());
    EXPECT_TRUE(PanelShown());
    EXPECT_EQ(plans_->Panel()->ResultText(), "FAIL");
    EXPECT_FALSE(app_.Router().State(kCmdJudgeAgain).enabled);
}

TEST_F(PlanTest, TheDialogRefusesEntriesThatAreNotValidAndSavesWhatItShows) {
    CTestPlanDlg dialog(plans_->Choice());
    dialog.NameEdit()->setText(QStringLiteral("lamp"));
    dialog.TypeEdit()->setText(QStringLiteral("LAMP-15"));
    dialog.ClassBox()->setCurrentIndex(4);                         // C25
    dialog.Readings()->item(6, 1)->setText(QStringLiteral("20"));  // Power min
    dialog.Readings()->item(6, 2)->setText(QStringLiteral("10"));  // Power max
    std::string problem;
    EXPECT_FALSE(dialog.EditedPlan(&problem));
    EXPECT_EQ(problem, "Power: the minimum is greater than the maximum.");
    dialog.Readings()->item(6, 2)->setText(QStringLiteral("1,5"));
    EXPECT_FALSE(dialog.EditedPlan(&problem));
    EXPECT_EQ(problem, "Power: the maximum is not a number.");
    dialog.Readings()->item(6, 2)->setText(QStringLiteral("30.5"));
    dialog.Harmonics()->item(1, 2)->setText(QStringLiteral("-1"));  // I3
    EXPECT_FALSE(dialog.EditedPlan(&problem));
    EXPECT_EQ(problem, "I3: a percent of the fundamental cannot be negative.");
    dialog.Harmonics()->item(1, 2)->setText(QStringLiteral("80"));
    ASSERT_TRUE(dialog.SaveEdited());

    const PlanRead saved = ReadPlanFile(plans_dir_.filePath("lamp.zx8plan").toStdString());
    ASSERT_TRUE(saved.plan) << saved.error;
    EXPECT_EQ(saved.plan->type, "LAMP-15");
    EXPECT_EQ(saved.plan->iec, IecClass::C25);
    EXPECT_EQ(saved.plan->Reading(PlanReading::Power), (Limit{20.0, 30.5}));
    EXPECT_EQ(saved.plan->iHarmonicMaxPercent[3], 80.0);
    EXPECT_EQ(dialog.UseBox()->currentText(), "lamp");
    // What the editor has no entries for is saved as the plan had it.
    TestPlan more = *saved.plan;
    more.derived[static_cast<std::size_t>(DerivedQuantity::KFactor)] = Limit{std::nullopt, 8.0};
    more.meterCheck = true;
    dialog.Edit(more);
    EXPECT_EQ(dialog.EditedPlan(&problem), more);
}

}  // namespace
}  // namespace zx840
