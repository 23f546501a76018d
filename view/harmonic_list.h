// The harmonic list: one row per order 2 to 50 with the voltage and current
// magnitudes in percent of their fundamentals.
#pragma once

#include <QTableWidget>
#include <QTimer>

#include "plan/verdict.h"
#include "view/panel_text.h"

namespace zx840 {

class HarmonicList : public QTableWidget {
    Q_OBJECT
  public:
    explicit HarmonicList(QWidget* parent = nullptr);

    // With `failing`, the cells of orders whose checks against the test plan
    // failed show their text in red (the order's cell when either channel
    // failed).
    void SetRows(const std::array<HarmonicRow, kHarmonicRows>& rows,
                 const FailingOrders* failing = nullptr);
    void ClearRows() { setRowCount(0); }

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void SelectHovered();

    QTimer hover_;  // selects the row the pointer rests on
    int hoveredRow_ = -1;
};

}  // namespace zx840
