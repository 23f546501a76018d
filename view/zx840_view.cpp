#include "view/zx840_view.h"

#include <QEvent>
#include <QLabel>
#include <QPrinter>
#include <QResizeEvent>

#include "analysis/displayed_record.h"
#include "commands/command_ids.h"
#include "view/dialog_units.h"
#include "view/harmonic_list.h"
#include "view/operator_report.h"
#include "view/panel_layout.h"
#include "view/panel_text.h"
#include "view/plot_box.h"
#include "view/plots.h"
#include "view/print_dialogs.h"

namespace zx840 {
namespace {

// The form's nominal size in dialog units.
constexpr int kFormWidthDlu = 325;
constexpr int kFormHeightDlu = 280;

// The face of the readouts: the light grey of a classic dialog.
constexpr QColor kReadoutFace(240, 240, 240);
// The face of a readout made from a value no measurement can hold.
constexpr QColor kOutOfRangeFace(255, 200, 80);

QString ShownText(const char* templateText) {
    // "&&" in a template text shows as one "&".
    return QString::fromLatin1(templateText).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

}  // namespace

CZX840ENView::CZX840ENView(const TestDocument& document, MeterSession& session, QWidget* parent)
    : QScrollArea(parent), document_(document), session_(session), panel_(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(false);
    panel_->setFont(DialogFont());
    nominal_ = DluToPixels(QSize(kFormWidthDlu, kFormHeightDlu), BaseUnitsOf(panel_->font()));
    BuildControls();
    setWidget(panel_);
    viewport()->installEventFilter(this);
    connect(&session_, &MeterSession::measured, this, &CZX840ENView::ShowMeasurement);
    connect(&session_, &MeterSession::failed, this, [this](const SessionFailure& failure) {
        ShowFailure(failure.exchange.failure);
        emit exchangeFinished();
    });
    connect(&session_, &MeterSession::planChanged, this, &CZX840ENView::OnPlanChanged);
    AddHandlers();
}

CZX840ENView::~CZX840ENView() = default;

void CZX840ENView::BuildControls() {
    for (const ControlSpec& slot : PanelControls()) {
        QWidget* control = nullptr;
        switch (slot.kind) {
            case ControlKind::Label:
            case ControlKind::PlotTitle: {
                auto* label = new QLabel(ShownText(slot.text), panel_);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(slot.kind == ControlKind::Label
                                        ? Qt::AlignHCenter | Qt::AlignTop
                                        : Qt::AlignLeft | Qt::AlignTop);
                control = label;
                break;
            }
            case ControlKind::Value: {
                auto* value = new QLabel(panel_);
                value->setTextFormat(Qt::PlainText);
                value->setAlignment(Qt::AlignCenter);
                value->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
                // Red or black numbers on a light face under any theme:
                // a fixed text colour needs its own background.
                QPalette palette = value->palette();
                palette.setColor(QPalette::Window, kReadoutFace);
                palette.setColor(QPalette::WindowText,
                                 IsRedValue(slot.id) ? QColor(255, 0, 0) : QColor(Qt::black));
                value->setPalette(palette);
                value->setAutoFillBackground(true);
                control = value;
                break;
            }
            case ControlKind::PlotBox: {
                auto* box = new PlotBox(panel_);
                if (slot.id == kPlotWave) {
                    waveBox_ = box;
                } else if (slot.id == kPlotUSpec) {
                    uSpecBox_ = box;
                } else {
                    iSpecBox_ = box;
                }
                control = box;
                break;
            }
            case ControlKind::List:
                list_ = new HarmonicList(panel_);
                control = list_;
                break;
        }
        if (slot.kind != ControlKind::List) {
            control->setFocusPolicy(Qt::NoFocus);
        }
        control->setObjectName(QString::number(slot.id));
        controls_[slot.id] = control;
    }
}

QWidget* CZX840ENView::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QString CZX840ENView::ControlText(int id) const {
    const auto* label = qobject_cast<const QLabel*>(Control(id));
    return label != nullptr ? label->text() : QString();
}

bool CZX840ENView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport() && event->type() == QEvent::Resize) {
        LayoutControls();
    }
    return QScrollArea::eventFilter(watched, event);
}

void CZX840ENView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    LayoutControls();
}

// The controls follow the visible client area; the form keeps at least its
// nominal size, so a smaller window scrolls over it.
void CZX840ENView::LayoutControls() {
    const QSize client = viewport()->size();
    panel_->resize(client.expandedTo(nominal_));
    for (const Placement& placement : LayoutPanel(client.width(), client.height())) {
        QWidget* control = Control(placement.id);
        const Rect& r = placement.rect;
        control->setGeometry(r.x, r.y, std::max(0, r.width), std::max(0, r.height));
    }
    if (working_.DataValid == 1) {
        DrawPlots();
    }
}

void CZX840ENView::OnInitialUpdate() {
    mark_ = document_.Mark;
    session_.SetPort(document_.ComPort);
    session_.SetBaudRate(document_.BaudRate);
    working_ = DisplayedRecord(document_.Record, document_.DataValid);
    source_ = VerdictSource::Judged;
    Rejudge();
    FillHarmonicList();
    if (working_.DataValid == 1) {
        RefreshDisplay();
    } else {
        for (const ControlSpec& slot : PanelControls()) {
            if (slot.kind == ControlKind::Value) {
                static_cast<QLabel*>(Control(slot.id))->clear();
            }
        }
        waveBox_->Clear();
        uSpecBox_->Clear();
        iSpecBox_->Clear();
    }
    emit testShown();
}

// The list holds a row per order whenever the record holds a measurement,
// and nothing for a new, empty test.
void CZX840ENView::FillHarmonicList() {
    list_->ClearRows();
    if (working_.DataValid == 1) {
        const FailingOrders failing = verdict_ ? FailingOrdersOf(*verdict_) : FailingOrders{};
        list_->SetRows(HarmonicRows(working_.Record), verdict_ ? &failing : nullptr);
    }
}

void CZX840ENView::RefreshDisplay() {
    for (const Readout& readout : Readouts(working_)) {
        auto* box = static_cast<QLabel*>(Control(readout.id));
        box->setText(QString::fromStdString(readout.text));
        QPalette palette = box->palette();
        palette.setColor(QPalette::Window,
                         readout.outOfRange.empty() ? kReadoutFace : kOutOfRangeFace);
        box->setPalette(palette);
        box->setToolTip(readout.outOfRange.empty()
                            ? QString()
                            : QStringLiteral("Out of range: %1")
                                  .arg(QString::fromStdString(readout.outOfRange)));
        box->repaint();
    }
    DrawPlots();
    waveBox_->repaint();
    uSpecBox_->repaint();
    iSpecBox_->repaint();
}

void CZX840ENView::DrawPlots() {
    const MeasurementRecord& r = working_.Record;
    const QSize wave = waveBox_->ClientSize();
    waveBox_->SetPicture(WaveformPlot(r, wave.width(), wave.height()));
    // Both charts take their bar positions from the voltage chart's box.
    const QSize voltage = uSpecBox_->ClientSize();
    const SpectrumGeometry geometry = SpectrumGeometryFor(voltage.width(), voltage.height());
    const FailingOrders failing = verdict_ ? FailingOrdersOf(*verdict_) : FailingOrders{};
    uSpecBox_->SetPicture(SpectrumPlot(r.USpec, r.Uthd, Channel::Voltage, geometry, voltage.width(),
                                       verdict_ ? &failing.voltage : nullptr));
    iSpecBox_->SetPicture(SpectrumPlot(r.ISpec, r.Ithd, Channel::Current, geometry,
                                       iSpecBox_->ClientSize().width(),
                                       verdict_ ? &failing.current : nullptr));
}

void CZX840ENView::OnCommPass() {
    session_.Request(MeasureOrigin::Operator);
}

void CZX840ENView::ShowMeasurement(const SessionMeasurement& measurement) {
    working_ = measurement.working;
    source_ = VerdictSource::Judged;
    verdict_ = measurement.verdict;  // judged by the active plan
    emit verdictChanged();
    FillHarmonicList();
    RefreshDisplay();
    emit exchangeFinished();
}

void CZX840ENView::OnPlanChanged() {
    Rejudge();
    FillHarmonicList();
    if (working_.DataValid == 1) {
        RefreshDisplay();
    }
}

void CZX840ENView::Rejudge() {
    if (source_ != VerdictSource::Kept) {
        verdict_ = ActivePlan() ? Judge(*ActivePlan(), working_) : std::nullopt;
        if (verdict_ && source_ == VerdictSource::JudgedAgain) {
            verdict_->rejudged = true;
        }
    }
    emit verdictChanged();
}

void CZX840ENView::ShowKeptVerdict(std::optional<Verdict> verdict, std::string unjudged) {
    source_ = VerdictSource::Kept;
    verdict_ = std::move(verdict);
    keptUnjudged_ = std::move(unjudged);
    FillHarmonicList();
    if (working_.DataValid == 1) {
        RefreshDisplay();
    }
    emit verdictChanged();
}

void CZX840ENView::JudgeAgain() {
    if (!ActivePlan() || working_.DataValid != 1) {
        return;
    }
    source_ = VerdictSource::JudgedAgain;
    Rejudge();
    FillHarmonicList();
    RefreshDisplay();
}

ReportData CZX840ENView::Report() const {
    return {working_.Record, working_.Angles, mark_, verdict_ ? &*verdict_ : nullptr};
}

// Modal as ever, but nobody waits for it: the session goes on with what
// was asked for meanwhile.
void CZX840ENView::ShowFailure(AcquireFailure failure) {
    const OperatorMessage message = FailureMessage(failure);
    TellWithoutWaiting(window(), {Severity::Critical, QString::fromStdString(message.caption),
                                  QString::fromStdString(message.text)});
}

QPrinter& CZX840ENView::Printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *printer_;
}

void CZX840ENView::OnFilePrint() {
    if (PrintWithDialog(Printer(), Report(), window()) == PrintResult::Failed) {
        Tell(window(), Severity::Warning, QString::fromLatin1(kAppTitle),
             CouldNotStartPrintJobText(Printer().printerName()));
    }
}

void CZX840ENView::OnFilePrintPreview() {
    PreviewReport(Printer(), Report(), window(), previewPages_);
}

bool CZX840ENView::PrintDirect(const QString& printerName) {
    return zx840::PrintDirect(Printer(), printerName, Report()) == PrintResult::Printed;
}

void CZX840ENView::OnFilePrintDirect() {
    if (!PrintDirect()) {
        Tell(window(), Severity::Warning, QString::fromLatin1(kAppTitle),
             CouldNotStartPrintJobText({}));
    }
}

void CZX840ENView::AddHandlers() {
    std::vector<CommandHandler> handlers = {
        {kCmdCommPass, [this] { OnCommPass(); }},
        {kCmdFilePrint, [this] { OnFilePrint(); }},
        {kCmdFilePrintPreview, [this] { OnFilePrintPreview(); }},
        {kCmdFilePrintDirect, [this] { OnFilePrintDirect(); }},
        {kCmdContinuousStart, [this] { StartContinuousTest(); },
         [this](CommandState& state) { state.enabled = !ContinuousTest(); }},
        {kCmdContinuousStop, [this] { StopContinuousTest(); },
         [this](CommandState& state) { state.enabled = ContinuousTest(); }},
    };
    // Plain marks, never disabled; none when the port or the speed is none
    // of these.
    for (int number = 1; number <= kPortCount; ++number) {
        handlers.push_back({kCmdCom1 + number - 1, [this, number] { SelectPort(number); },
                            [this, number](CommandState& state) {
                                std::string name = "COM";
                                name += std::to_string(number);
                                state.checkable = true;
                                state.checked = PortName() == name;
                            }});
    }
    for (const std::int32_t baud : {2400, 9600}) {
        handlers.push_back({baud == 2400 ? kCmdBaud2400 : kCmdBaud9600,
                            [this, baud] { SelectBaudRate(baud); },
                            [this, baud](CommandState& state) {
                                state.checkable = true;
                                state.checked = BaudRate() == baud;
                            }});
    }
    AddCommandHandlers(std::move(handlers));
}

void CZX840ENView::SelectPort(int number) {
    std::string name = "COM";
    name += std::to_string(number);
    session_.SetPort(name);
    if (portListener_) {
        portListener_(name);
    }
}

void CZX840ENView::SelectBaudRate(std::int32_t baudRate) {
    session_.SetBaudRate(baudRate);
    if (baudListener_) {
        baudListener_(baudRate);
    }
}

}  // namespace zx840
