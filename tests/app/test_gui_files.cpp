#include <gtest/gtest.h>
#include <stdlib.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/main_frame.h"
#include "app/zx840_app.h"
#include "app/zx840_doc.h"
#include "commands/command_ids.h"
#include "meter/sim/meter_simulator.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "tests/gui_helpers.h"
#include "tests/gui_meter.h"
#include "view/harmonic_list.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

using testing::AnswerMessageBoxes;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const QString& path) {
    Bytes bytes;
    EXPECT_TRUE(ReadWholeFile(path.toStdString(), &bytes));
    return bytes;
}

void WriteBytes(const QString& path, const Bytes& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Answers the next file dialog with `path`.
void ChooseInFileDialog(const QString& path) {
    QTimer::singleShot(50, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        // Typed into the name field, as an operator would.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SimulatorOptions options;
        options.load.kind = LoadKind::Dimmer;
        sim_ = testing::StartMeterFor("ZX840_COM1", options);
        ASSERT_TRUE(sim_);
        Start();
    }
    void TearDown() override {
        app_.reset();
        unsetenv("ZX840_COM1");
    }
    void Start() {
        app_ = std::make_unique<CZX840ENApp>(settings_.path());
        ASSERT_TRUE(app_->InitInstance({}));
        QApplication::setActiveWindow(app_->Frame());
    }
    CZX840ENView* View() { return app_->View(); }
    CZX840ENDoc* Doc() { return app_->Document(); }
    QString Path(const char* name) { return files_.filePath(QString::fromLatin1(name)); }
    Settings StoredSettings() {
        return ParseSettings(ReadBytes(settings_.filePath(QStringLiteral("ZX840EN.ini"))));
    }

    std::unique_ptr<MeterSimulator> sim_;
    QTemporaryDir settings_;
    QTemporaryDir files_;
    std::unique_ptr<CZX840ENApp> app_;
};

TEST_F(FilesTest, SavedTestOpensAgainAndSavesToTheSameBytes) {
    EXPECT_EQ(testing::CommPass(View()), 1);
    View()->Mark().Manufacturer = "Acme \xE2\x84\x83";
    const QString path = Path("first");
    ChooseInFileDialog(path);
    app_->Router().Dispatch(kCmdFileSaveAs);
    const QString saved = path + QStringLiteral(".ZX8");  // the default extension
    EXPECT_EQ(app_->Frame()->windowTitle(),
              QStringLiteral("first.ZX8 - ZX840 DIGITAL POWER METER"));
    const Bytes bytes = ReadBytes(saved);
    EXPECT_EQ(bytes, SerializeTest(Doc()->State().Mark, View()->Working().Record));
    const WorkingRecord acquired = View()->Working();

    // A fresh program opens it: the panel shows the measurement at once.
    app_.reset();
    Start();
    EXPECT_EQ(View()->List()->rowCount(), 0);
    ChooseInFileDialog(saved);
    app_->Router().Dispatch(kCmdFileOpen);
    EXPECT_EQ(app_->Frame()->windowTitle(),
              QStringLiteral("first.ZX8 - ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(View()->Working(), acquired);  // angles recomputed, spectra from the file
    EXPECT_EQ(View()->List()->rowCount(), 49);
    EXPECT_EQ(View()->Mark().Manufacturer, "Acme \xE2\x84\x83");
    EXPECT_EQ(Doc()->State().DataValid, 1);

    const QString again = Path("again.ZX8");
    ASSERT_TRUE(Doc()->OnSaveDocument(again));
    EXPECT_EQ(ReadBytes(again), bytes);
}

TEST_F(FilesTest, DamagedFilesChangeNothingAndNothingHalfLoadedReachesTheSettings) {
    EXPECT_EQ(testing::CommPass(View()), 1);
    const QString good = Path("good.ZX8");
    ASSERT_TRUE(Doc()->OnSaveDocument(good));
    const TestDocument document = Doc()->State();
    const WorkingRecord working = View()->Working();
    const QString title = app_->Frame()->windowTitle();

    ProductMark other;
    other.Manufacturer = "Half";
    other.Number = 99;
    const Bytes full = SerializeTest(other, MeasurementRecord{});
    Bytes huge = full;
    huge[12] = 0xFF;
    huge.insert(huge.begin() + 13, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const std::pair<const char*, Bytes> damaged[] = {
        {"empty.ZX8", {}},
        {"short.ZX8", Bytes(full.begin(), full.end() - 1)},
        {"cut.ZX8", Bytes(full.begin(), full.begin() + 40)},
        {"huge.ZX8", huge},
    };
    for (const auto& [name, bytes] : damaged) {
        WriteBytes(Path(name), bytes);
        const auto seen =
            AnswerMessageBoxes([&] { EXPECT_FALSE(app_->OpenDocumentFile(Path(name))); });
        EXPECT_EQ(seen.text, QStringLiteral("Unexpected file format.")) << name;
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_EQ(Doc()->State().Mark, document.Mark) << name;
        EXPECT_EQ(Doc()->State().Record, document.Record) << name;
        EXPECT_EQ(View()->Working(), working) << name;
        EXPECT_EQ(app_->Frame()->windowTitle(), title) << name;
    }
    const auto missing =
        AnswerMessageBoxes([&] { EXPECT_FALSE(app_->OpenDocumentFile(Path("none.ZX8"))); });
    EXPECT_TRUE(missing.text.startsWith(QStringLiteral("Cannot open")))
        << missing.text.toStdString();

    app_.reset();  // exit: the settings hold the product information of before
    const Settings stored = StoredSettings();
    EXPECT_EQ(stored.Manufacturer, document.Mark.Manufacturer);
    EXPECT_EQ(stored.Number, document.Mark.Number);
}

TEST_F(FilesTest, FailedSaveSaysSoAndKeepsTheOldFile) {
    const QString target = Path("kept.ZX8");
    ASSERT_TRUE(Doc()->OnSaveDocument(target));
    const Bytes old = ReadBytes(target);
    EXPECT_EQ(testing::CommPass(View()), 1);
    std::filesystem::create_directory(Path("folder.ZX8").toStdString());
    for (const QString& bad : {Path("missing/x.ZX8"), Path("folder.ZX8")}) {
        const auto seen = AnswerMessageBoxes([&] { EXPECT_FALSE(Doc()->OnSaveDocument(bad)); });
        EXPECT_TRUE(seen.text.startsWith(QStringLiteral("Cannot save the test to")))
            << bad.toStdString();
        EXPECT_EQ(app_->Frame()->windowTitle(),
                  QStringLiteral("kept.ZX8 - ZX840 DIGITAL POWER METER"));
    }
    EXPECT_EQ(ReadBytes(target), old);
}

TEST_F(FilesTest, SettingsCarryPortSpeedAndProductFromOneRunToTheNext) {
    // First run: defaults, and the file after exit is the known 23 bytes.
    EXPECT_EQ(View()->PortName(), "COM1");
    EXPECT_EQ(View()->BaudRate(), 9600);
    EXPECT_EQ(View()->Mark().Temperature, "25");
    app_.reset();
    EXPECT_EQ(ReadBytes(settings_.filePath(QStringLiteral("ZX840EN.ini"))),
              SerializeSettings(Settings{}));
    EXPECT_EQ(ReadBytes(settings_.filePath(QStringLiteral("ZX840EN.ini"))).size(), 23u);

    Settings odd;
    odd.ComPort = "COM9";
    odd.BaudRate = 4800;
    odd.Number = 2147483647;
    odd.Operator = std::string(300, 'o');
    WriteBytes(settings_.filePath(QStringLiteral("ZX840EN.ini")), SerializeSettings(odd));
    Start();
    EXPECT_EQ(View()->PortName(), "COM9");
    EXPECT_EQ(View()->BaudRate(), 4800);
    EXPECT_EQ(View()->Mark().Number, 2147483647);
    EXPECT_EQ(View()->Mark().Operator, odd.Operator);
    EXPECT_EQ(View()->Mark().Testday, TodayTestday());
    app_->Frame()->Action(kCmdCom1 + 2)->trigger();
    app_.reset();
    odd.ComPort = "COM3";
    EXPECT_EQ(StoredSettings(), odd);
}

TEST_F(FilesTest, SettingsThatCannotBeWrittenGiveOneMessageAtExit) {
    app_.reset();
    std::filesystem::remove(settings_.filePath(QStringLiteral("ZX840EN.ini")).toStdString());
    std::filesystem::create_directory(
        settings_.filePath(QStringLiteral("ZX840EN.ini")).toStdString());
    // The folder in the file's place is reported at start as well.
    int boxes = 0;
    const auto start = AnswerMessageBoxes([&] { Start(); }, &boxes);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(start.text.contains(QStringLiteral("was not read"))) << start.text.toStdString();
    const auto seen = AnswerMessageBoxes([&] { app_.reset(); }, &boxes);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(seen.caption, QStringLiteral("Create File"));
    EXPECT_EQ(seen.text, QStringLiteral("Can't create file ZX840EN.ini"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace zx840
