#include "view/harmonic_list.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace zx840 {
namespace {

constexpr int kHoverMs = 400;  // how long the pointer rests before its row is selected

}  // namespace

HarmonicList::HarmonicList(QWidget* parent) : QTableWidget(0, 3, parent) {
    for (int column = 0; column < 3; ++column) {
        auto* heading = new QTableWidgetItem(QString::fromLatin1(kHarmonicHeadings[column]));
        heading->setTextAlignment(Qt::AlignCenter);
        setHorizontalHeaderItem(column, heading);
        setColumnWidth(column, kHarmonicColumnWidth);
    }
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 3);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setWordWrap(false);
    // A white list with black text under any theme: a dark theme's light
    // text would vanish on the white.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    setPalette(palette);
    setMouseTracking(true);
    hover_.setSingleShot(true);
    hover_.setInterval(kHoverMs);
    connect(&hover_, &QTimer::timeout, this, &HarmonicList::SelectHovered);
}

void HarmonicList::SetRows(const std::array<HarmonicRow, kHarmonicRows>& rows,
                           const FailingOrders* failing) {
    setRowCount(0);
    setRowCount(kHarmonicRows);
    for (int i = 0; i < kHarmonicRows; ++i) {
        const HarmonicRow& row = rows[static_cast<std::size_t>(i)];
        const std::string* cells[3] = {&row.order, &row.voltage, &row.current};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(QString::fromStdString(*cells[column]));
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (failing != nullptr) {
                const auto order = static_cast<std::size_t>(i + 2);
                const bool u = failing->voltage[order];
                const bool c = failing->current[order];
                if ((column == 0 && (u || c)) || (column == 1 && u) || (column == 2 && c)) {
                    item->setForeground(QColor(255, 0, 0));
                }
            }
            setItem(i, column, item);
        }
    }
}

void HarmonicList::mouseMoveEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint().y());
    if (row != hoveredRow_) {
        hoveredRow_ = row;
        hover_.start();
    }
    QTableWidget::mouseMoveEvent(event);
}

void HarmonicList::leaveEvent(QEvent* event) {
    hover_.stop();
    hoveredRow_ = -1;
    QTableWidget::leaveEvent(event);
}

void HarmonicList::SelectHovered() {
    if (hoveredRow_ >= 0 && hoveredRow_ < rowCount()) {
        selectRow(hoveredRow_);
    }
}

}  // namespace zx840
