#include "app/about_dlg.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "meter/acquisition.h"
#include "view/dialog_units.h"

namespace zx840 {

QString CAboutDlg::Text() {
    const char* lines[] = {kAppTitle, kVersionLine, kNoticeLine, kCompanyLine, kContactLine};
    QStringList parts;
    for (const char* line : lines) {
        parts << QString::fromLatin1(line);
    }
    return parts.join(QStringLiteral("\n\n"));
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setFont(DialogFont());
    const DialogBaseUnits units = BaseUnitsOf(font());

    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/res/zx840.png")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(Text());
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The box keeps its size; a line longer than the box (the notice)
    // wraps instead of widening it.
    text->setWordWrap(true);
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons);
    setFixedSize(DluToPixels(QSize(169, 116), units));
}

}  // namespace zx840
