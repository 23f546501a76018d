#include <gtest/gtest.h>
#include <stdlib.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_frame.h"
#include "app/mark_dlg.h"
#include "app/port_devices_dlg.h"
#include "app/zx840_app.h"
#include "app/zx840_doc.h"
#include "commands/command_ids.h"
#include "meter/sim/meter_simulator.h"
#include "record/file_io.h"
#include "record/mark_number.h"
#include "record/measurement_file.h"
#include "session/meter_session.h"
#include "tests/gui_helpers.h"
#include "tests/gui_meter.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

using testing::AnswerMessageBoxes;

class CommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = testing::StartMeterFor("ZX840_COM1");
        ASSERT_TRUE(sim_);
        ASSERT_TRUE(app_.InitInstance({}));
        frame_ = app_.Frame();
        view_ = app_.View();
        doc_ = app_.Document();
        QApplication::setActiveWindow(frame_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame_));
    }
    void TearDown() override {
        unsetenv("ZX840_COM1");
        unsetenv("ZX840_COM3");
    }

    // Asks for a Comm Pass and waits until it has measured: what was asked
    // for before it is over by then.
    bool CommPassRuns() {
        bool measured = false;
        const QMetaObject::Connection connection = QObject::connect(
            app_.Session(), &MeterSession::measured, frame_,
            [&measured](const SessionMeasurement& measurement) {
                measured = measured || measurement.origin == MeasureOrigin::Operator;
            });
        frame_->Action(kCmdCommPass)->trigger();
        const bool ran = testing::WaitUntil([&] { return measured; }, 10000);
        QObject::disconnect(connection);
        return ran;
    }

    // The checked items among COM1..COM8, then among the two speeds.
    QString Marks() {
        frame_->UpdateCommandStates();
        QString marks;
        for (int id = kCmdCom1; id <= kCmdCom8; ++id) {
            EXPECT_TRUE(frame_->Action(id)->isEnabled());
            if (frame_->Action(id)->isChecked()) {
                marks += QStringLiteral("COM%1 ").arg(id - kCmdCom1 + 1);
            }
        }
        for (int id : {kCmdBaud2400, kCmdBaud9600}) {
            EXPECT_TRUE(frame_->Action(id)->isEnabled());
            if (frame_->Action(id)->isChecked()) {
                marks += id == kCmdBaud2400 ? QStringLiteral("2400") : QStringLiteral("9600");
            }
        }
        return marks;
    }

    bool Enabled(int id) {
        frame_->UpdateCommandStates();
        return frame_->Action(id)->isEnabled();
    }

    std::unique_ptr<MeterSimulator> sim_;
    QTemporaryDir settings_;  // the settings file of this run
    CZX840ENApp app_{settings_.path()};
    CMainFrame* frame_ = nullptr;
    CZX840ENView* view_ = nullptr;
    CZX840ENDoc* doc_ = nullptr;
};

TEST_F(CommandsTest, PortAndSpeedMarksFollowEverySelection) {
    EXPECT_EQ(Marks(), QStringLiteral("COM1 9600"));
    frame_->Action(kCmdCom1 + 2)->trigger();
    EXPECT_EQ(Marks(), QStringLiteral("COM3 9600"));
    EXPECT_EQ(doc_->State().ComPort, "COM3");
    frame_->Action(kCmdBaud2400)->trigger();
    EXPECT_EQ(Marks(), QStringLiteral("COM3 2400"));
    EXPECT_EQ(doc_->State().BaudRate, 2400);

    QTest::keyClick(frame_, Qt::Key_3, Qt::ControlModifier);  // not an accelerator
    EXPECT_EQ(view_->PortName(), "COM3");
    QTest::keyClick(frame_, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(view_->PortName(), "COM2");
    EXPECT_EQ(doc_->State().ComPort, "COM2");

    // Each item opens the device of its port (the Port Devices dialog shows
    // which); the menu item itself carries no tooltip.
    frame_->UpdateCommandStates();
    EXPECT_EQ(view_->Ports().Resolve("COM1"), sim_->DevicePath());
    EXPECT_EQ(view_->Ports().Resolve("COM5"), "/dev/ttyS4");
    EXPECT_EQ(frame_->Action(kCmdCom1)->toolTip(), QStringLiteral("COM1"));

    // Values from the settings outside the offered ones: no marks at all.
    doc_->State().ComPort = "COM9";
    doc_->State().BaudRate = 4800;
    view_->OnInitialUpdate();
    EXPECT_EQ(Marks(), QString());
    EXPECT_EQ(view_->BaudRate(), 4800);
}

TEST_F(CommandsTest, NextExchangeUsesTheChosenPortAndSpeed) {
    auto other = testing::StartMeterFor("ZX840_COM3");
    frame_->Action(kCmdCom1 + 2)->trigger();
    frame_->Action(kCmdBaud2400)->trigger();
    QTest::keyClick(frame_, Qt::Key_F3);
    ASSERT_TRUE(testing::ExchangesOver(view_));
    EXPECT_EQ(other->Requests(), (std::vector<Request>{{0x11, 0x11}}));
    EXPECT_TRUE(sim_->Requests().empty());
    EXPECT_EQ(view_->Working().DataValid, 1);
}

TEST_F(CommandsTest, ContinuousTestRunsUntilStopThenExactlyOneMore) {
    EXPECT_TRUE(Enabled(kCmdContinuousStart));
    EXPECT_FALSE(Enabled(kCmdContinuousStop));
    int finished = 0;
    std::size_t requestsAtStop = 0;
    bool stopBetweenAcquisitions = false;
    QObject::connect(view_, &CZX840ENView::exchangeFinished, frame_, [&] {
        ++finished;
        if (finished == 2) {
            // A new speed takes effect at the next acquisition of the test.
            view_->SelectBaudRate(2400);
        }
        if (finished == 4) {
            QTimer::singleShot(0, frame_, [&] {
                stopBetweenAcquisitions = !view_->ExchangeInProgress() && view_->TimerRunning();
                requestsAtStop = sim_->Requests().size();
                frame_->Action(kCmdContinuousStop)->trigger();
            });
        }
    });
    frame_->Action(kCmdContinuousStart)->trigger();
    EXPECT_FALSE(Enabled(kCmdContinuousStart));
    EXPECT_TRUE(Enabled(kCmdContinuousStop));
    // Other commands stay available while the test runs.
    EXPECT_TRUE(Enabled(kCmdCommPass));
    EXPECT_TRUE(Enabled(kCmdProductMark));

    ASSERT_TRUE(testing::WaitUntil(
        [&] { return !view_->ContinuousTest() && !view_->TimerRunning(); }, 10000));
    // Nothing more follows: a Comm Pass asked for now is the next exchange.
    ASSERT_TRUE(CommPassRuns());
    EXPECT_TRUE(stopBetweenAcquisitions);
    EXPECT_EQ(requestsAtStop, 4u);
    auto requests = sim_->Requests();
    requests.pop_back();  // the Comm Pass's
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[1], (Request{0x11, 0x30}));
    EXPECT_EQ(requests[2], (Request{0x11, 0x11}));
    EXPECT_TRUE(Enabled(kCmdContinuousStart));
    EXPECT_FALSE(Enabled(kCmdContinuousStop));
}

TEST_F(CommandsTest, FailureInMidTestGivesOneMessageAndEndsTheTest) {
    sim_->SetFault({FaultMode::WrongMark, 3, -1});
    int boxes = 0;
    const auto seen = AnswerMessageBoxes(
        [&] {
            frame_->Action(kCmdContinuousStart)->trigger();
            ASSERT_TRUE(testing::WaitUntil([&] { return !view_->ContinuousTest(); }, 10000));
            ASSERT_TRUE(testing::WaitUntil([&] { return boxes == 1; }));
            // Nothing more follows: with the meter answering again, a Comm
            // Pass asked for now is the next exchange and brings no box.
            sim_->SetFault({});
            ASSERT_TRUE(CommPassRuns());
        },
        &boxes);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(seen.text.startsWith(QStringLiteral("Communication failed!")));
    EXPECT_EQ(sim_->Requests().size(), 4u + 1);  // and the Comm Pass's
    EXPECT_FALSE(view_->TimerRunning());
    EXPECT_TRUE(Enabled(kCmdContinuousStart));
    EXPECT_FALSE(Enabled(kCmdContinuousStop));
}

TEST_F(CommandsTest, CommPassBetweenTicksDoesNotEndTheTest) {
    frame_->Action(kCmdContinuousStart)->trigger();
    ASSERT_TRUE(testing::WaitUntil([&] { return sim_->Requests().size() >= 2; }, 5000));
    QTest::keyClick(frame_, Qt::Key_F3);  // a tick falls due during this exchange
    ASSERT_TRUE(testing::WaitUntil([&] { return sim_->Requests().size() >= 6; }, 5000));
    EXPECT_TRUE(view_->ContinuousTest());
    view_->StopContinuousTest();
    ASSERT_TRUE(testing::WaitUntil(
        [&] { return !view_->TimerRunning() && !view_->ExchangeInProgress(); }, 5000));
}

// Commands and files handed over while the meter answers wait for the
// exchange, in the order given: the first measurement keeps the number it
// was started with, and the file opened last is what the window shows.
TEST_F(CommandsTest, WhatComesDuringAnExchangeRunsAfterItInOrder) {
    QTemporaryDir files;
    ProductMark stored;
    stored.Number = 7;
    const QString path = files.filePath(QStringLiteral("seven.ZX8"));
    ASSERT_TRUE(WriteFileAtomically(path.toStdString(), SerializeTest(stored, {})));
    std::vector<std::int32_t> numbersMeasured;
    QObject::connect(view_, &CZX840ENView::exchangeFinished, frame_,
                     [&] { numbersMeasured.push_back(view_->Mark().Number); });
    QTest::keyClick(frame_, Qt::Key_F3);
    ASSERT_TRUE(view_->ExchangeInProgress());
    frame_->Action(kCmdNumberAddOne)->trigger();
    frame_->Action(kCmdCommPass)->trigger();
    app_.RequestOpen(path);
    EXPECT_EQ(view_->Mark().Number, 1);
    ASSERT_TRUE(testing::WaitUntil([&] { return doc_->State().Mark.Number == 7; }, 30000));
    EXPECT_EQ(numbersMeasured, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(sim_->Requests().size(), 2u);
    EXPECT_EQ(frame_->windowTitle(), QStringLiteral("seven.ZX8 - ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(view_->Mark().Number, 7);
}

TEST_F(CommandsTest, NumberAddOneWarnsAndWrapsAfterTheLargest) {
    doc_->State().Mark.Number = 2147483646;
    int boxes = 0;
    AnswerMessageBoxes([&] { QTest::keyClick(frame_, Qt::Key_A, Qt::ControlModifier); }, &boxes);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(doc_->State().Mark.Number, 2147483647);
    EXPECT_EQ(view_->Mark().Number, 2147483647);
    const auto seen = AnswerMessageBoxes([&] { frame_->Action(kCmdNumberAddOne)->trigger(); });
    EXPECT_EQ(seen.caption, QStringLiteral("Warning"));
    EXPECT_EQ(seen.text, QStringLiteral("Number overflow!\n\nNumber will be changed to one!\nYou "
                                        "can change it by \"Product Mark\" under Product menu."));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(doc_->State().Mark.Number, 1);
    EXPECT_EQ(view_->Mark().Number, 1);
}

// Opens the Mark dialog through the command and runs `act` on it.
void WithMarkDialog(CZX840ENDoc* doc, const std::function<void(CMarkDlg*)>& act,
                    testing::SeenMessage* seen = nullptr) {
    const auto message = AnswerMessageBoxes([&] {
        QTimer::singleShot(50, [&] {
            auto* dialog = qobject_cast<CMarkDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            act(dialog);
        });
        doc->OnProductMark();
    });
    if (seen != nullptr) {
        *seen = message;
    }
}

TEST_F(CommandsTest, MarkDialogTakesFieldsOnlyFromAnAcceptedOk) {
    doc_->State().Mark.Manufacturer = "Old";
    doc_->State().Mark.Inspector = "Quiet";
    view_->OnInitialUpdate();
    const std::string testday = doc_->State().Mark.Testday;

    // A refused OK, then Cancel: the document keeps everything.
    testing::SeenMessage seen;
    WithMarkDialog(
        doc_,
        [](CMarkDlg* dialog) {
            dialog->Edit(CMarkDlg::kIdManufacturer)->setText("New");
            dialog->Edit(CMarkDlg::kIdNumber)->setText("x");
            dialog->accept();
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(dialog->focusWidget(), dialog->Edit(CMarkDlg::kIdNumber));
            EXPECT_EQ(dialog->Edit(CMarkDlg::kIdNumber)->selectedText(), QStringLiteral("x"));
            dialog->reject();
        },
        &seen);
    EXPECT_EQ(seen.text, QStringLiteral("Please enter an integer."));
    EXPECT_EQ(seen.caption, QStringLiteral("ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(doc_->State().Mark.Manufacturer, "Old");
    EXPECT_EQ(doc_->State().Mark.Number, 1);

    WithMarkDialog(
        doc_,
        [](CMarkDlg* dialog) {
            dialog->Edit(CMarkDlg::kIdNumber)->setText("-1");
            dialog->accept();
            dialog->reject();
        },
        &seen);
    EXPECT_EQ(seen.text, QStringLiteral("Please enter an integer between 0 and 2147483647."));

    WithMarkDialog(doc_, [](CMarkDlg* dialog) {
        EXPECT_FALSE(dialog->Edit(CMarkDlg::kIdInspector)->isVisible());
        EXPECT_TRUE(dialog->Edit(CMarkDlg::kIdTestday)->isReadOnly());
        EXPECT_EQ(dialog->Edit(CMarkDlg::kIdManufacturer)->text(), QStringLiteral("Old"));
        dialog->Edit(CMarkDlg::kIdManufacturer)->setText("Acme \u00C6");
        dialog->Edit(CMarkDlg::kIdType)->setText("PSU-12");
        dialog->Edit(CMarkDlg::kIdNumber)->setText(" 42 ");
        dialog->Edit(CMarkDlg::kIdTemperature)->setText("23.5");
        dialog->Edit(CMarkDlg::kIdHumidity)->setText("40");
        dialog->Edit(CMarkDlg::kIdOperator)->setText("Kim");
        dialog->accept();
    });
    const ProductMark& mark = doc_->State().Mark;
    EXPECT_EQ(mark.Manufacturer, "Acme \xC3\x86");
    EXPECT_EQ(mark.Type, "PSU-12");
    EXPECT_EQ(mark.Number, 42);
    EXPECT_EQ(mark.Temperature, "23.5");
    EXPECT_EQ(mark.Humidity, "40");
    EXPECT_EQ(mark.Operator, "Kim");
    EXPECT_EQ(mark.Inspector, "Quiet");
    EXPECT_EQ(mark.Testday, testday);
    EXPECT_EQ(view_->Mark(), mark);
}

TEST_F(CommandsTest, MarkDialogKeepsLongTextsAndLeavesUntouchedFieldsAlone) {
    std::string longType;
    while (longType.size() < 40000) {
        longType += "PSU-" + std::to_string(longType.size()) + " ";
    }
    longType.resize(40000);
    const std::string typedMaker(50000, 'M');
    ProductMark& mark = doc_->State().Mark;
    mark.Type = longType;
    mark.Inspector = "Insp\xFF";  // bytes that are not UTF-8 stay as they are
    view_->OnInitialUpdate();

    WithMarkDialog(doc_, [&](CMarkDlg* dialog) {
        EXPECT_EQ(dialog->Edit(CMarkDlg::kIdType)->text().size(), 40000);
        dialog->Edit(CMarkDlg::kIdOperator)->setText("Kim");
        dialog->Edit(CMarkDlg::kIdManufacturer)->setText(QString::fromStdString(typedMaker));
        dialog->accept();
    });
    // (Compared whole, without printing 40,000 characters on a failure.)
    EXPECT_EQ(mark.Type.size(), longType.size());
    EXPECT_TRUE(mark.Type == longType);
    EXPECT_EQ(mark.Inspector, "Insp\xFF");
    EXPECT_EQ(mark.Operator, "Kim");
    EXPECT_EQ(mark.Manufacturer.size(), typedMaker.size());
    EXPECT_TRUE(mark.Manufacturer == typedMaker);
    EXPECT_TRUE(view_->Mark() == mark);
}

TEST(MarkDialog, OkHasTheFocusAndTheTabOrderFollowsTheForm) {
    ProductMark mark;
    mark.Number = 7;
    mark.Testday = "26-12-07";
    CMarkDlg dialog(mark);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Mark"));
    EXPECT_EQ(dialog.focusWidget()->objectName(), QStringLiteral("1"));
    EXPECT_EQ(dialog.Edit(CMarkDlg::kIdNumber)->text(), QStringLiteral("7"));
    EXPECT_EQ(dialog.Edit(CMarkDlg::kIdTestday)->text(), QStringLiteral("26-12-07"));
    QStringList order;
    QWidget* widget = dialog.focusWidget();
    for (int i = 0; i < 8; ++i) {
        order << widget->objectName();
        widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisible()) {
            widget = widget->nextInFocusChain();
        }
    }
    EXPECT_EQ(order.join(' '), QStringLiteral("1 2 1026 1020 1021 1022 1023 1024"));
}

TEST(PortDevicesDialog, OffersTheDevicesAndTakesAnyPathTyped) {
    PortMap map;
    map.SetMapped(2, "/dev/ttyUSB0");
    CPortDevicesDlg dialog(map, {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/serial/by-id/usb-Meter"});
    EXPECT_EQ(dialog.Choice(1)->count(), 3);
    EXPECT_EQ(dialog.Choice(1)->currentText(), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(dialog.Choice(2)->currentText(), QStringLiteral("/dev/ttyUSB0"));
    dialog.Choice(3)->setEditText(QStringLiteral("/dev/serial/by-id/usb-Meter"));
    dialog.Choice(4)->setEditText(QStringLiteral(" /home/lab/meter-link "));
    dialog.Choice(5)->setEditText(QString());
    const PortMap result = dialog.Result();
    EXPECT_EQ(result.Mapped(2), "/dev/ttyUSB0");
    EXPECT_EQ(result.Mapped(3), "/dev/serial/by-id/usb-Meter");
    EXPECT_EQ(result.Mapped(4), "/home/lab/meter-link");
    EXPECT_EQ(result.Mapped(5), "/dev/ttyS4");  // empty keeps the default

    // What the dialog gives is kept per user and read back at the next start.
    CZX840ENApp::SavePortMap(result);
    PortMap loaded;
    CZX840ENApp::LoadPortMap(loaded);
    for (int n = 1; n <= kPortCount; ++n) {
        EXPECT_EQ(loaded.Mapped(n), result.Mapped(n)) << n;
    }
    CZX840ENApp::SavePortMap(PortMap{});
}

}  // namespace
}  // namespace zx840
