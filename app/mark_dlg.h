// The "Mark" dialog: views and edits the product information of the test.
#pragma once

#include <QDialog>

#include "record/product_mark.h"

class QLineEdit;
class QLabel;

namespace zx840 {

class CMarkDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CMarkDlg(const ProductMark& mark, QWidget* parent = nullptr);

    // The dialog's copy: what it was filled with, replaced by the fields
    // only when OK passes the Number check.
    const ProductMark& Mark() const { return mark_; }

    QLineEdit* Edit(int id) const;
    QLabel* Label(int id) const;

    enum ControlId : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdType = 1020,
        kIdNumber = 1021,
        kIdTemperature = 1022,
        kIdHumidity = 1023,
        kIdOperator = 1024,
        kIdInspector = 1025,
        kIdManufacturer = 1026,
        kIdTestday = 1027,
    };

  public slots:
    void accept() override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void DrawCelsius();

    ProductMark mark_;
    QLabel* celsius_ = nullptr;
};

}  // namespace zx840
