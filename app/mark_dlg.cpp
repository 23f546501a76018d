#include "app/mark_dlg.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <limits>

#include "meter/acquisition.h"
#include "record/mark_number.h"
#include "view/dialog_units.h"
#include "view/operator_report.h"

namespace zx840 {
namespace {

struct EditSpec {
    int id;
    const char* label;
    QRect dlu;  // left, top, width, height in dialog units
};

// In tab order; the label stands to the left of its edit.
constexpr EditSpec kEdits[] = {
    {CMarkDlg::kIdManufacturer, "Manufacturer", {51, 9, 140, 12}},
    {CMarkDlg::kIdType, "Type", {26, 25, 68, 12}},
    {CMarkDlg::kIdNumber, "Number", {129, 25, 62, 12}},
    {CMarkDlg::kIdTemperature, "Temperature", {50, 45, 23, 12}},
    {CMarkDlg::kIdHumidity, "Humidity", {129, 45, 23, 12}},
    {CMarkDlg::kIdOperator, "Operator", {38, 64, 56, 12}},
    {CMarkDlg::kIdInspector, "Inspector", {134, 85, 55, 12}},
    {CMarkDlg::kIdTestday, "Testday", {129, 63, 62, 12}},
};

constexpr int kLabelGapDlu = 3;
constexpr int kLabelWidthDlu = 45;

// The degree Celsius sign as a small picture, in the dialog's text colour
// (it stands on the dialog's own background, light or dark).
QPixmap DegreeCelsius(const QFont& font, QSize size, const QColor& ink) {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(picture.rect(), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("\u00B0C"));
    return picture;
}

// What an edit holds now: the field as it was when the dialog opened
// unless its text changed, so untouched fields keep every byte.
std::string Text(const QLineEdit* edit, const std::string& original) {
    const QString text = edit->text();
    return text == QString::fromStdString(original) ? original : text.toStdString();
}

}  // namespace

CMarkDlg::CMarkDlg(const ProductMark& mark, QWidget* parent) : QDialog(parent), mark_(mark) {
    setWindowTitle(QStringLiteral("Mark"));
    setFont(DialogFont());
    const DialogBaseUnits units = BaseUnitsOf(font());
    setFixedSize(DluToPixels(QSize(199, 103), units));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(DluToPixels(QRect(56, 85, 29, 12), units));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(DluToPixels(QRect(115, 85, 29, 12), units));
    connect(ok, &QPushButton::clicked, this, &CMarkDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CMarkDlg::reject);

    const std::string* values[] = {&mark.Manufacturer, &mark.Type,     nullptr,
                                   &mark.Temperature,  &mark.Humidity, &mark.Operator,
                                   &mark.Inspector,    &mark.Testday};
    QWidget* previous = cancel;
    setTabOrder(ok, cancel);
    for (std::size_t i = 0; i < std::size(kEdits); ++i) {
        const EditSpec& slot = kEdits[i];
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(slot.id));
        edit->setGeometry(DluToPixels(slot.dlu, units));
        edit->setMaxLength(std::numeric_limits<int>::max());  // texts have no limit
        edit->setText(values[i] != nullptr ? QString::fromStdString(*values[i])
                                           : QString::number(mark.Number));
        auto* label = new QLabel(QString::fromLatin1(slot.label), this);
        label->setObjectName(QStringLiteral("label") + QString::number(slot.id));
        const int right = slot.dlu.x() - kLabelGapDlu;
        const int left = std::max(2, right - kLabelWidthDlu);
        label->setGeometry(DluToPixels(QRect(left, slot.dlu.y() + 1, right - left, 10), units));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (slot.id == kIdInspector) {
            edit->hide();
            label->hide();
        }
        if (slot.id == kIdTestday) {
            edit->setReadOnly(true);
            edit->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
        } else {
            setTabOrder(previous, edit);
            previous = edit;
        }
    }
    celsius_ = new QLabel(this);
    celsius_->setObjectName(QStringLiteral("celsius"));
    celsius_->setAccessibleName(QStringLiteral("\u00B0C"));
    celsius_->setGeometry(DluToPixels(QRect(75, 45, 14, 12), units));
    DrawCelsius();
    auto* percent = new QLabel(QStringLiteral("%"), this);
    percent->setGeometry(DluToPixels(QRect(154, 46, 10, 10), units));
    ok->setFocus();
}

void CMarkDlg::DrawCelsius() {
    celsius_->setPixmap(
        DegreeCelsius(font(), celsius_->size(), palette().color(QPalette::WindowText)));
}

void CMarkDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && celsius_ != nullptr) {
        DrawCelsius();
    }
}

QLineEdit* CMarkDlg::Edit(int id) const {
    return findChild<QLineEdit*>(QString::number(id));
}

QLabel* CMarkDlg::Label(int id) const {
    return findChild<QLabel*>(QStringLiteral("label") + QString::number(id));
}

// OK takes the fields only when the Number is a whole number in range;
// otherwise it says so and keeps the dialog open on the Number field.
void CMarkDlg::accept() {
    ProductMark read = mark_;
    read.Inspector = Text(Edit(kIdInspector), mark_.Inspector);
    read.Manufacturer = Text(Edit(kIdManufacturer), mark_.Manufacturer);
    read.Humidity = Text(Edit(kIdHumidity), mark_.Humidity);
    read.Operator = Text(Edit(kIdOperator), mark_.Operator);
    read.Temperature = Text(Edit(kIdTemperature), mark_.Temperature);
    read.Type = Text(Edit(kIdType), mark_.Type);
    const NumberResult number = CheckMarkNumber(Edit(kIdNumber)->text().toStdString());
    if (number.check != NumberCheck::Ok) {
        Tell(this, Severity::Warning, QString::fromLatin1(kAppTitle),
             QString::fromLatin1(number.check == NumberCheck::NotInteger ? kNotIntegerMessage
                                                                         : kNumberRangeMessage));
        QLineEdit* edit = Edit(kIdNumber);
        edit->setFocus();
        edit->selectAll();
        return;
    }
    read.Number = number.value;
    read.Testday = Text(Edit(kIdTestday), mark_.Testday);
    mark_ = read;
    QDialog::accept();
}

}  // namespace zx840
