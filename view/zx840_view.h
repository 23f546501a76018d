// The measurement panel: the program's only view. It owns the working
// record and shows its readouts, plots and harmonic list; the measurements
// come from the meter session, whose commands it carries.
#pragma once

#include <QScrollArea>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "commands/command_router.h"
#include "plan/verdict.h"
#include "record/document_content.h"
#include "report/report_printing.h"
#include "session/meter_session.h"

class QLabel;
class QPrinter;

namespace zx840 {

class HarmonicList;
class PlotBox;

class CZX840ENView : public QScrollArea, public CommandTarget {
    Q_OBJECT
  public:
    // `document` is the document's state and `session` the meter's; both
    // outlive the view.
    CZX840ENView(const TestDocument& document, MeterSession& session, QWidget* parent = nullptr);
    ~CZX840ENView() override;

    // Copies the document into the view (product mark, record, DataValid)
    // and its port and speed into the session, fills the harmonic list and
    // recomputes the angles.
    void OnInitialUpdate();

    // One acquisition, asked of the session: the panel shows it, or says
    // why it failed, once it is over.
    void OnCommPass();

    // Port and speed: the session's, used by the next acquisition, and the
    // document's value, kept for the settings file.
    void SelectPort(int number);
    void SelectBaudRate(std::int32_t baudRate);

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

    void FillHarmonicList();
    void RefreshDisplay();

    // The session's, as the panel's commands and marks use them. The
    // active plan judges each acquisition and, whenever it changes, the
    // measurement shown; every opened test is judged again.
    MeterSession& Session() const { return session_; }
    void StartContinuousTest() { session_.StartContinuousTest(); }
    void StopContinuousTest() { session_.StopContinuousTest(); }
    bool ContinuousTest() const { return session_.ContinuousTest(); }
    bool TimerRunning() const { return session_.TimerRunning(); }
    bool ExchangeInProgress() const { return session_.ExchangeInProgress(); }
    const std::string& PortName() const { return session_.PortName(); }
    std::int32_t BaudRate() const { return session_.BaudRate(); }
    PortMap& Ports() { return session_.Ports(); }
    const std::optional<TestPlan>& ActivePlan() const { return session_.Plan(); }
    const std::string& PlanRefusal() const { return session_.PlanRefusal(); }
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
    // The nominal size of the form in pixels; smaller windows scroll.
    QSize NominalSize() const { return nominal_; }

    // For tests: the control with a panel identifier, and the text shown.
    QWidget* Control(int id) const;
    QString ControlText(int id) const;
    HarmonicList* List() const { return list_; }

  signals:
    // An exchange is over: the panel shows its measurement and verdict, or
    // the message of its failure.
    void exchangeFinished();
    // The verdict or the plan changed.
    void verdictChanged();
    // A test was put on the panel (its initial update) or its product
    // information changed: the product type may be another.
    void testShown();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void AddHandlers();
    void LayoutControls();
    void DrawPlots();
    void ShowMeasurement(const SessionMeasurement& measurement);
    void ShowFailure(AcquireFailure failure);
    void OnPlanChanged();
    void OnFilePrintDirect();
    // Judges the working record against the plan and tells whoever listens.
    void Rejudge();
    ReportData Report() const;

    const TestDocument& document_;
    MeterSession& session_;
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
    std::unique_ptr<QPrinter> printer_;  // keeps the printer set-up between jobs
    int previewPages_ = 1;
};

}  // namespace zx840
