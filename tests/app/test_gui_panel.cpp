#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>

#include <QLabel>
#include <QMap>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_frame.h"
#include "app/mark_dlg.h"
#include "app/zx840_app.h"
#include "meter/sim/meter_simulator.h"
#include "tests/gui_helpers.h"
#include "tests/gui_meter.h"
#include "view/harmonic_list.h"
#include "view/panel_layout.h"
#include "view/panel_text.h"
#include "view/plot_box.h"
#include "view/plots.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

using testing::AnswerMessageBoxes;

// The program on a simulated meter mapped to COM1.
class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override { StartMeter(SimulatorOptions{}); }
    void TearDown() override { unsetenv("ZX840_COM1"); }

    void StartMeter(SimulatorOptions options) {
        options.load.kind = LoadKind::Rectifier;
        options.load.voltageHarmonics = {{3, 4.0, 0.0}, {5, 2.0, 30.0}};
        options_ = options;
        sim_ = testing::StartMeterFor("ZX840_COM1", options_);
        ASSERT_TRUE(sim_);
        ASSERT_TRUE(app_.InitInstance({}));
        view_ = app_.View();
        app_.Frame()->show();
        QApplication::setActiveWindow(app_.Frame());
        ASSERT_TRUE(QTest::qWaitForWindowActive(app_.Frame()));
    }

    WorkingRecord Expected() const {
        WorkingRecord expected;
        const HarmonicTable table;
        ApplyReply(*EncodeReply(SimulateMeasurement(options_.load)), table, expected);
        return expected;
    }

    QStringList PanelTexts() const {
        QStringList texts;
        for (const ControlSpec& slot : PanelControls()) {
            texts << view_->ControlText(slot.id);
        }
        HarmonicList* list = view_->List();
        for (int row = 0; row < list->rowCount(); ++row) {
            for (int column = 0; column < 3; ++column) {
                texts << list->item(row, column)->text();
            }
        }
        return texts;
    }

    PlotBox* Box(int id) const { return static_cast<PlotBox*>(view_->Control(id)); }

    SimulatorOptions options_;
    std::unique_ptr<MeterSimulator> sim_;
    QTemporaryDir settings_;  // the settings file of this run
    CZX840ENApp app_{settings_.path()};
    CZX840ENView* view_ = nullptr;
};

TEST_F(PanelTest, NewTestShowsNothing) {
    EXPECT_EQ(view_->Working().DataValid, 0);
    EXPECT_EQ(view_->List()->rowCount(), 0);
    EXPECT_EQ(view_->List()->columnCount(), 3);
    EXPECT_EQ(view_->ControlText(kValueUrms), QString());
    EXPECT_TRUE(Box(kPlotWave)->Picture().empty());
    EXPECT_EQ(view_->ControlText(kTitleWave), QStringLiteral("Voltage & Current WaveForm"));
    EXPECT_EQ(view_->List()->horizontalHeaderItem(0)->text(), QStringLiteral("    ORD."));
    // The harmonic list is the only control that takes the focus.
    for (const ControlSpec& slot : PanelControls()) {
        EXPECT_EQ(view_->Control(slot.id)->focusPolicy() != Qt::NoFocus, slot.id == kHarmonicList)
            << slot.id;
    }
}

TEST_F(PanelTest, F3FillsReadoutsListAndPlotsFromTheMeter) {
    QTest::keyClick(app_.Frame(), Qt::Key_F3);
    ASSERT_TRUE(testing::ExchangesOver(view_));
    ASSERT_EQ(sim_->Requests(), (std::vector<Request>{{0x11, 0x30}}));
    const WorkingRecord expected = Expected();
    EXPECT_EQ(view_->Working(), expected);

    for (const Readout& readout : Readouts(expected)) {
        EXPECT_EQ(view_->ControlText(readout.id).toStdString(), readout.text) << readout.id;
    }
    EXPECT_TRUE(view_->ControlText(kValueStartAngle).endsWith(QStringLiteral(" Deg")));

    const auto rows = HarmonicRows(expected.Record);
    ASSERT_EQ(view_->List()->rowCount(), 49);
    for (int i = 0; i < 49; ++i) {
        EXPECT_EQ(view_->List()->item(i, 0)->text().toStdString(), rows[i].order);
        EXPECT_EQ(view_->List()->item(i, 1)->text().toStdString(), rows[i].voltage);
        EXPECT_EQ(view_->List()->item(i, 2)->text().toStdString(), rows[i].current);
    }
    EXPECT_EQ(view_->List()->item(1, 1)->text(), QStringLiteral("4.0%"));  // order 3 of the mains

    const QSize wave = Box(kPlotWave)->ClientSize();
    EXPECT_EQ(Box(kPlotWave)->Picture(),
              WaveformPlot(expected.Record, wave.width(), wave.height()));
    const QSize spectrum = Box(kPlotUSpec)->ClientSize();
    const SpectrumGeometry geometry = SpectrumGeometryFor(spectrum.width(), spectrum.height());
    EXPECT_EQ(Box(kPlotISpec)->Picture(),
              SpectrumPlot(expected.Record.ISpec, expected.Record.Ithd, Channel::Current, geometry,
                           Box(kPlotISpec)->ClientSize().width()));
}

// The panel shows the meter's readings as ever; the status bar says they
// disagree with the samples, until a measurement whose figures agree.
TEST_F(PanelTest, ReadingsThatDisagreeWithTheSamplesAreWarnedOfInTheStatusBar) {
    sim_->SetFault({FaultMode::Mismatched, 0, 1});
    QTest::keyClick(app_.Frame(), Qt::Key_F3);
    ASSERT_TRUE(testing::ExchangesOver(view_));
    EXPECT_EQ(view_->Working().Record.PF, Expected().Record.PF);
    const QString warning = app_.Frame()->MeterCheckWarning();
    EXPECT_TRUE(warning.startsWith(
        QStringLiteral("Meter check: the readings disagree with the samples: PF 0.6")))
        << warning.toStdString();
    EXPECT_NE(warning.indexOf(QStringLiteral("Icf")), -1);
    QTest::keyClick(app_.Frame(), Qt::Key_F3);
    ASSERT_TRUE(testing::ExchangesOver(view_));
    EXPECT_EQ(app_.Frame()->MeterCheckWarning(), QString());
}

TEST_F(PanelTest, FailuresShowTheirMessageAndLeaveThePanel) {
    QTest::keyClick(app_.Frame(), Qt::Key_F3);
    ASSERT_TRUE(testing::ExchangesOver(view_));
    const WorkingRecord before = view_->Working();
    const QStringList texts = PanelTexts();
    ASSERT_EQ(before.DataValid, 1);

    sim_->SetFault({FaultMode::WrongMark, 0, 1});
    int boxes = 0;
    auto seen = AnswerMessageBoxes(
        [&] {
            QTest::keyClick(app_.Frame(), Qt::Key_F3);
            EXPECT_TRUE(testing::ExchangesOver(view_));
        },
        &boxes);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(sim_->Requests().size(), 2u);
    EXPECT_EQ(seen.caption, QStringLiteral("ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(seen.text, QStringLiteral("Communication failed!Please check:\n1.The communication "
                                        "port;\n2.The communication cable;\n3.The power."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(view_->Working(), before);
    EXPECT_EQ(PanelTexts(), texts);

    setenv("ZX840_COM1", "/dev/zx840-no-such-port", 1);
    QApplication::setActiveWindow(app_.Frame());  // back from the message box
    seen = AnswerMessageBoxes([&] {
        QTest::keyClick(app_.Frame(), Qt::Key_F3);
        EXPECT_TRUE(testing::ExchangesOver(view_));
    });
    EXPECT_EQ(seen.caption, QStringLiteral("ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(seen.text, QStringLiteral("Can't get touch with mainframe! Please check:\n1.The "
                                        "communication port;\n2.The communication cable;\n3.The "
                                        "power."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(view_->Working(), before);
    EXPECT_EQ(PanelTexts(), texts);
}

TEST_F(PanelTest, WindowRepaintsDuringAnExchangeAndClosesOnlyAfterIt) {
    sim_.reset();
    options_.paced = true;  // about 1.1 s on the wire at 9600 baud
    sim_ = testing::StartMeterFor("ZX840_COM1", options_);
    ASSERT_TRUE(sim_);

    bool ranDuringExchange = false;
    bool stillOpenAfterClose = false;
    int paintsDuringExchange = 0;
    struct PaintCounter : QObject {
        int* count;
        CZX840ENView* view;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && view->ExchangeInProgress()) {
                ++*count;
            }
            return false;
        }
    } counter;
    counter.count = &paintsDuringExchange;
    counter.view = view_;
    Box(kPlotWave)->installEventFilter(&counter);
    QTimer::singleShot(300, [&] {
        ranDuringExchange = view_->ExchangeInProgress();
        Box(kPlotWave)->update();
        app_.Frame()->close();  // as if the operator clicked the close box
        stillOpenAfterClose = app_.Frame()->isVisible();
    });
    EXPECT_EQ(testing::CommPass(view_), 1);
    EXPECT_TRUE(ranDuringExchange);
    EXPECT_GT(paintsDuringExchange, 0);
    EXPECT_TRUE(stillOpenAfterClose);
    EXPECT_FALSE(app_.Frame()->isVisible());  // closed once the exchange ended
    EXPECT_EQ(view_->Working().DataValid, 1);
}

TEST(PanelInitialUpdate, ALoadedMeasurementFillsTheListAtOnce) {
    TestDocument document;
    LoadSettings load;
    load.kind = LoadKind::Dimmer;
    WorkingRecord stored;
    const HarmonicTable table;
    ApplyReply(*EncodeReply(SimulateMeasurement(load)), table, stored);
    document.Record = stored.Record;
    document.DataValid = 1;
    document.ComPort = "COM3";
    document.BaudRate = 2400;
    document.Mark.Manufacturer = "Acme";

    MeterSession session;
    CZX840ENView view(document, session);
    view.resize(1000, 600);
    view.OnInitialUpdate();
    EXPECT_EQ(view.List()->rowCount(), 49);  // also on the very first update
    EXPECT_EQ(view.Working(), stored);       // angles recomputed from the waveforms
    EXPECT_EQ(view.PortName(), "COM3");
    EXPECT_EQ(view.BaudRate(), 2400);
    EXPECT_EQ(view.Mark().Manufacturer, "Acme");
    EXPECT_FALSE(static_cast<PlotBox*>(view.Control(kPlotWave))->Picture().empty());

    // A new, empty test empties the panel again.
    document.NewTest("26-12-08");
    view.OnInitialUpdate();
    EXPECT_EQ(view.List()->rowCount(), 0);
    EXPECT_EQ(view.ControlText(kValueUrms), QString());
    EXPECT_TRUE(static_cast<PlotBox*>(view.Control(kPlotWave))->Picture().empty());
}

TEST(PanelLayout, ControlsFollowTheClientAreaAndSmallWindowsScroll) {
    TestDocument document;
    MeterSession session;
    CZX840ENView view(document, session);
    view.resize(1000, 600);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_EQ(view.viewport()->size(), QSize(1000, 600));
    EXPECT_EQ(view.Control(kPlotWave)->geometry(), QRect(10, 25, 589, 175));
    EXPECT_EQ(view.Control(kPlotUSpec)->geometry(), QRect(10, 225, 589, 175));
    EXPECT_EQ(view.Control(kPlotISpec)->geometry(), QRect(10, 425, 589, 175));
    EXPECT_EQ(view.Control(kValueUrms)->geometry(), QRect(619, 30, 110, 20));
    EXPECT_EQ(view.Control(kLabelEndAngle)->geometry(), QRect(619, 472, 110, 20));
    EXPECT_EQ(view.Control(kHarmonicList)->geometry(), QRect(749, 0, 251, 600));
    // The plots are drawn inside the sunken edge.
    EXPECT_EQ(static_cast<PlotBox*>(view.Control(kPlotUSpec))->ClientSize(), QSize(585, 171));

    view.resize(300, 200);
    QApplication::processEvents();
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(view.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view.widget()->size(), view.NominalSize());
}

// The colours of a dark desktop theme.
QPalette DarkPalette() {
    const QColor window(53, 53, 53);
    const QColor text(238, 238, 238);
    QPalette dark(text, window, window.lighter(150), window.darker(150), window.darker(120), text,
                  Qt::white, QColor(36, 36, 36), window);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, window);
    dark.setColor(QPalette::ToolTipText, text);
    return dark;
}

// Relative luminance and contrast ratio as the accessibility guidelines
// define them: 1 for equal colours, 21 for black on white.
double Luminance(QColor colour) {
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double Contrast(QColor a, QColor b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What a piece of the screen shows: its background (the commonest colour)
// and the contrast of the pixel that stands out most from it, the core of
// the text drawn there.
struct Ink {
    QColor background;
    double contrast = 1.0;
};

Ink InkIn(const QImage& image, const QRect& region) {
    QMap<QRgb, int> counts;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    Ink ink;
    int most = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it.value() > most) {
            most = it.value();
            ink.background = QColor(it.key());
        }
    }
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        ink.contrast = std::max(ink.contrast, Contrast(ink.background, QColor(it.key())));
    }
    return ink;
}

// Sets the application's palette for the life of the object.
class AppPalette {
  public:
    explicit AppPalette(const QPalette& palette) : saved_(QApplication::palette()) {
        QApplication::setPalette(palette);
    }
    ~AppPalette() { QApplication::setPalette(saved_); }

  private:
    QPalette saved_;
};

TEST(DarkPalette, TheListReadoutsAndDialogsStayReadable) {
    const AppPalette dark(DarkPalette());
    TestDocument document;
    LoadSettings load;
    load.kind = LoadKind::Rectifier;
    WorkingRecord stored;
    ApplyReply(*EncodeReply(SimulateMeasurement(load)), HarmonicTable{}, stored);
    document.Record = stored.Record;
    document.DataValid = 1;
    MeterSession session;
    CZX840ENView view(document, session);
    view.resize(1000, 600);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.OnInitialUpdate();
    QApplication::processEvents();
    const QImage image = view.grab().toImage();
    const auto onScreen = [&view](QWidget* widget, QRect rect) {
        return QRect(widget->mapTo(&view, rect.topLeft()), rect.size());
    };

    // The harmonic list: black text on its white background, every column.
    HarmonicList* list = view.List();
    ASSERT_EQ(list->rowCount(), 49);
    for (int row : {0, 1, 24, 48}) {
        for (int column = 0; column < 3; ++column) {
            const QRect cell = list->visualItemRect(list->item(row, column));
            if (!list->viewport()->rect().contains(cell)) {
                continue;
            }
            const Ink ink = InkIn(image, onScreen(list->viewport(), cell.adjusted(1, 1, -2, -2)));
            EXPECT_EQ(ink.background, QColor(Qt::white)) << row << "," << column;
            EXPECT_GE(ink.contrast, 15.0) << row << "," << column;
        }
    }
    // Readouts (red or plain), their labels and the plot titles.
    for (const ControlSpec& slot : PanelControls()) {
        if (slot.kind == ControlKind::PlotBox || slot.kind == ControlKind::List) {
            continue;
        }
        auto* label = static_cast<QLabel*>(view.Control(slot.id));
        ASSERT_FALSE(label->text().isEmpty()) << slot.id;
        const Ink ink = InkIn(image, onScreen(label, label->contentsRect().adjusted(1, 1, -1, -1)));
        EXPECT_GE(ink.contrast, slot.kind == ControlKind::Value && IsRedValue(slot.id) ? 3.0 : 4.5)
            << slot.id;
    }
    // Plot boxes: white, with the plots drawn in their own colours.
    for (int id : {kPlotWave, kPlotUSpec, kPlotISpec}) {
        auto* box = static_cast<PlotBox*>(view.Control(id));
        const Ink ink = InkIn(image, onScreen(box, box->contentsRect()));
        EXPECT_EQ(ink.background, QColor(Qt::white)) << id;
        EXPECT_GE(ink.contrast, 4.5) << id;
    }

    // The Mark dialog's degree sign is drawn in the dialog's text colour.
    CMarkDlg mark(ProductMark{});
    mark.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mark));
    auto* celsius = mark.findChild<QLabel*>(QStringLiteral("celsius"));
    ASSERT_NE(celsius, nullptr);
    const QImage dialog = mark.grab().toImage();
    EXPECT_GE(InkIn(dialog, celsius->geometry()).contrast, 4.5);
}

}  // namespace
}  // namespace zx840
