#include "app/zx840_doc.h"

#include <QMessageBox>

#include "app/command_ids.h"
#include "app/mark_dlg.h"
#include "record/mark_number.h"
#include "view/zx840_view.h"

namespace zx840 {

CZX840ENDoc::CZX840ENDoc() {
    state_.Mark.Testday = TodayTestday();
}

void CZX840ENDoc::OnNewDocument() {
    path_.clear();
    title_ = QStringLiteral("Untitled");
    state_.NewTest(TodayTestday());
}

bool CZX840ENDoc::HandlesCommand(int id) const {
    return id == kCmdProductMark || id == kCmdNumberAddOne;
}

bool CZX840ENDoc::OnCommand(int id) {
    if (id == kCmdProductMark) {
        OnProductMark();
    } else if (id == kCmdNumberAddOne) {
        OnNumberAddOne();
    } else {
        return false;
    }
    return true;
}

void CZX840ENDoc::OnProductMark() {
    CMarkDlg dialog(state_.Mark, window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // Every field but the test day, which only the clock and files set.
    const ProductMark& edited = dialog.Mark();
    for (ProductMark* mark : {&state_.Mark, view_ != nullptr ? &view_->Mark() : nullptr}) {
        if (mark == nullptr) {
            continue;
        }
        mark->Inspector = edited.Inspector;
        mark->Manufacturer = edited.Manufacturer;
        mark->Humidity = edited.Humidity;
        mark->Number = edited.Number;
        mark->Operator = edited.Operator;
        mark->Temperature = edited.Temperature;
        mark->Type = edited.Type;
    }
}

void CZX840ENDoc::OnNumberAddOne() {
    bool wrapped = false;
    const std::int32_t next = NextNumber(state_.Mark.Number, &wrapped);
    if (wrapped) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kNumberOverflowCaption),
                        QString::fromLatin1(kNumberOverflowMessage), QMessageBox::Ok);
        box.exec();
    }
    state_.Mark.Number = next;
    if (view_ != nullptr) {
        view_->Mark().Number = next;
    }
}

}  // namespace zx840
