#include "app/zx840_doc.h"

namespace zx840 {

CZX840ENDoc::CZX840ENDoc() {
    state_.Mark.Testday = TodayTestday();
}

void CZX840ENDoc::OnNewDocument() {
    path_.clear();
    title_ = QStringLiteral("Untitled");
    state_.NewTest(TodayTestday());
}

bool CZX840ENDoc::OnCommand(int) {
    return false;
}
bool CZX840ENDoc::HandlesCommand(int) const {
    return false;
}

}  // namespace zx840
