#include "app/verdict_panel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "view/panel_text.h"

namespace zx840 {

namespace {

const QColor kPassColor(0, 128, 0);
const QColor kFailColor(255, 0, 0);

QString Number(const std::string& item, double value) {
    return QString::fromStdString(CheckValueText(item, value));
}

QString Bound(const std::string& item, const std::optional<double>& bound) {
    return bound ? Number(item, *bound) : QString();
}

}  // namespace

CVerdictPanel::CVerdictPanel(QWidget* parent)
    : QDockWidget(QString::fromLatin1(kVerdictPanelTitle), parent) {
    setObjectName(QStringLiteral("VerdictPanel"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    result_ = new QLabel(body);
    QFont big = result_->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    result_->setFont(big);
    result_->setAlignment(Qt::AlignCenter);
    result_->setAutoFillBackground(true);
    plan_ = new QLabel(body);
    plan_->setAlignment(Qt::AlignCenter);
    plan_->setWordWrap(true);
    note_ = new QLabel(body);
    note_->setWordWrap(true);
    checks_ = new QTableWidget(0, 5, body);
    checks_->setHorizontalHeaderLabels({QStringLiteral("Check"), QStringLiteral("Value"),
                                        QStringLiteral("Min"), QStringLiteral("Max"),
                                        QStringLiteral("Result")});
    checks_->verticalHeader()->hide();
    checks_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    checks_->setSelectionBehavior(QAbstractItemView::SelectRows);
    checks_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(result_);
    layout->addWidget(plan_);
    layout->addWidget(note_);
    layout->addWidget(checks_, 1);
    setWidget(body);
    hide();
}

void CVerdictPanel::Show(const std::string& planName, const std::optional<Verdict>& verdict,
                         const QString& origin) {
    if (planName.empty()) {
        hide();
        return;
    }
    plan_->setText(QStringLiteral("Plan: %1").arg(QString::fromStdString(planName)));
    QPalette palette = result_->palette();
    if (verdict) {
        result_->setText(verdict->pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
        palette.setColor(QPalette::Window, verdict->pass ? kPassColor : kFailColor);
        palette.setColor(QPalette::WindowText, Qt::white);
        // A class that set no limit at this power is said beside the PASS.
        QStringList notes;
        if (!verdict->preCompliance.empty()) {
            notes << QString::fromStdString(verdict->preCompliance);
        }
        for (const std::string& note : verdict->LimitNotes()) {
            notes << QString::fromStdString(note);
        }
        note_->setText(notes.join(QLatin1Char('\n')));
    } else {
        result_->setText(QStringLiteral("-"));
        palette.setColor(QPalette::Window, palette.color(QPalette::Base));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
        note_->setText(QStringLiteral("No measurement yet."));
    }
    result_->setPalette(palette);
    if (!origin.isEmpty()) {
        note_->setText(note_->text().isEmpty() || !verdict ? origin
                                                           : origin + "\n" + note_->text());
    }
    note_->setVisible(!note_->text().isEmpty());

    const std::vector<Check> ordered = verdict ? verdict->FailingFirst() : std::vector<Check>{};
    checks_->setRowCount(static_cast<int>(ordered.size()));
    for (int row = 0; row < checks_->rowCount(); ++row) {
        const Check& check = ordered[static_cast<std::size_t>(row)];
        const QString cells[5] = {QString::fromStdString(check.item),
                                  Number(check.item, check.value), Bound(check.item, check.min),
                                  Bound(check.item, check.max),
                                  check.pass ? QStringLiteral("pass") : QStringLiteral("FAIL")};
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (!check.pass) {
                item->setForeground(kFailColor);
            }
            if (!check.note.empty()) {
                item->setToolTip(QString::fromStdString(check.note));
            }
            checks_->setItem(row, column, item);
        }
    }
    show();
}

void CVerdictPanel::ShowRefusal(const QString& text) {
    result_->setText(QStringLiteral("-"));
    QPalette palette = result_->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Base));
    palette.setColor(QPalette::WindowText, kFailColor);
    result_->setPalette(palette);
    plan_->setText(text);
    note_->setText(
        QStringLiteral("Measurements are kept without a verdict until the plan can be "
                       "read."));
    note_->show();
    checks_->setRowCount(0);
    show();
}

QString CVerdictPanel::ResultText() const {
    return result_->text();
}

QString CVerdictPanel::NoteText() const {
    return note_->text();
}

QString CVerdictPanel::PlanText() const {
    return plan_->text();
}

int CVerdictPanel::CheckRows() const {
    return checks_->rowCount();
}

QString CVerdictPanel::CheckCell(int row, int column) const {
    const QTableWidgetItem* item = checks_->item(row, column);
    return item != nullptr ? item->text() : QString();
}

}  // namespace zx840
