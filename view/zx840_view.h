// The measurement panel: the program's only view. It owns the working
// record, shows its readouts, plots and harmonic list, and runs the
// acquisition.
#pragma once

#include <QBasicTimer>
#include <QScrollArea>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "analysis/harmonics.h"
#include "commands/command_router.h"
#include "meter/acquisition.h"
#include "meter/port_map.h"
#include "plan/test_plan.h"
#include "plan/verdict.h"
#include "record/test_document.h"
#include "report/report_printing.h"

class QLabel;
class QPrinter;

namespace zx840 {

class HarmonicList;
class PlotBox;

class CZX840ENView : public QScrollArea, public CommandTarget {
    Q_OBJECT
  public:
    // `document` is the document's state; it outlives the view.
    explicit CZX840ENView(const TestDocument& document, QWidget* parent = nullptr);
    ~CZX840ENView() override;

    // Copies the document into the view (product mark, port, speed, record,
    // DataValid), fills the harmonic list and recomputes the angles.
    void OnInitialUpdate();

    // One acquisition: 1 on success, 0 after a failure already reported.
    int OnCommPass();

    // Port and speed: the view's copy, used by the next acquisition, and the
    // document's value, kept for the settings file.
    void SelectPort(int number);
    void SelectBaudRate(std::int32_t baudRate);

    // The continuous test: acquisitions one after the other until Stop or
    // the first failure.
    // Printing the report of what the panel shows. A job that cannot start
    // says "Could not start print job.".
    void OnFilePrint();
    void OnFilePrintPreview();
    // Straight to the default printer, or the one named; no dialog, no
    // message: the caller reports a failure.
    bool PrintDirect(const QString& printerName = {});
    QPrinter& Printer();
    int PreviewPages() const { return previewPages_; }
    void SetPreviewPages(int pages) { previewPages_ = pages == 2 ? 2 : 1; }

    void StartContinuousTest();
    void StopContinuousTest();
    bool ContinuousTest() const { return continuous_; }
    bool TimerRunning() const { return timer_.isActive(); }

    void FillHarmonicList();
    void RefreshDisplay();

    // Command routing.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;
    bool HandlesCommand(int id) const override;

    // The test plan that judges what the panel shows, or none. Setting it
    // judges the current measurement at once; every acquisition and every
    // opened test is judged again.
    // `refusal` says why no plan judges although one was chosen (the plan
    // file cannot be read): measurements are then kept as not judged.
    void SetTestPlan(std::optional<TestPlan> plan, std::string refusal = {});
    const std::optional<TestPlan>& ActivePlan() const { return plan_; }
    const std::string& PlanRefusal() const { return planRefusal_; }
    // The verdict of the measurement shown: none without a plan or without
    // a measurement.
    const std::optional<Verdict>& CurrentVerdict() const { return verdict_; }

    // Where the verdict shown comes from: judged now by the active plan, the
    // one a kept result was given (never judged again by itself, whatever
    // today's plan says), or judged again on request.
    enum class VerdictSource { Judged, Kept, JudgedAgain };
    VerdictSource Source() const { return source_; }
    // A kept result was put on the panel: shows its verdict, or none, with
    // `unjudged` saying why it has none.
    void ShowKeptVerdict(std::optional<Verdict> verdict, std::string unjudged);
    const std::string& KeptUnjudged() const { return keptUnjudged_; }
    // Judges the measurement shown against the active plan again, on
    // request; the verdict says it was judged again.
    void JudgeAgain();

    const WorkingRecord& Working() const { return working_; }
    const ProductMark& Mark() const { return mark_; }
    ProductMark& Mark() { return mark_; }
    // The document changed the product information: the panel's copy follows.
    void OnMarkChanged(const ProductMark& documentMark, MarkChange change) {
        ApplyMarkChange(documentMark, change, mark_);
        emit testShown();
    }
    // Called with the port name or the speed the operator selected.
    void SetLineListeners(std::function<void(const std::string&)> port,
                          std::function<void(std::int32_t)> baud) {
        portListener_ = std::move(port);
        baudListener_ = std::move(baud);
    }
    const std::string& PortName() const { return portName_; }
    std::int32_t BaudRate() const { return baudRate_; }
    PortMap& Ports() { return ports_; }

    // True while an exchange with the meter runs; things that must not
    // happen in its middle wait for exchangeFinished().
    bool ExchangeInProgress() const { return exchanging_; }

    // The nominal size of the form in pixels; smaller windows scroll.
    QSize NominalSize() const { return nominal_; }

    // For tests: the control with a panel identifier, and the text shown.
    QWidget* Control(int id) const;
    QString ControlText(int id) const;
    HarmonicList* List() const { return list_; }

  signals:
    // An acquisition succeeded: the panel shows its measurement and verdict.
    void measured();
    void exchangeFinished();
    // The verdict or the plan changed.
    void verdictChanged();
    // A test was put on the panel (its initial update) or its product
    // information changed: the product type may be another.
    void testShown();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void LayoutControls();
    void DrawPlots();
    void ShowFailure(AcquireFailure failure);
    // Judges the working record against the plan and tells whoever listens.
    void Rejudge();
    ReportData Report() const;

    const TestDocument& document_;
    std::optional<TestPlan> plan_;
    std::string planRefusal_;
    std::optional<Verdict> verdict_;
    VerdictSource source_ = VerdictSource::Judged;
    std::string keptUnjudged_;
    std::function<void(const std::string&)> portListener_;
    std::function<void(std::int32_t)> baudListener_;
    QWidget* panel_;
    std::map<int, QWidget*> controls_;
    HarmonicList* list_ = nullptr;
    PlotBox* waveBox_ = nullptr;
    PlotBox* uSpecBox_ = nullptr;
    PlotBox* iSpecBox_ = nullptr;
    QSize nominal_;

    WorkingRecord working_;
    ProductMark mark_;
    std::string portName_ = kDefaultComPort;
    std::int32_t baudRate_ = kDefaultBaudRate;
    PortMap ports_;
    HarmonicTable table_;
    bool exchanging_ = false;
    bool continuous_ = false;
    QBasicTimer timer_;                  // paces the continuous test, 1 ms
    bool tickDeferred_ = false;          // a tick came while another exchange ran
    std::unique_ptr<QPrinter> printer_;  // keeps the printer set-up between jobs
    int previewPages_ = 1;
};

}  // namespace zx840
