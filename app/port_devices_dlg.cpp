#include "app/port_devices_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cstdlib>

#include "view/dialog_units.h"

namespace zx840 {

CPortDevicesDlg::CPortDevicesDlg(const PortMap& map, const std::vector<std::string>& devices,
                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Port Devices"));
    setFont(DialogFont());
    auto* form = new QFormLayout;
    for (int number = 1; number <= kPortCount; ++number) {
        auto* choice = new QComboBox;
        choice->setEditable(true);
        choice->setInsertPolicy(QComboBox::NoInsert);
        choice->setMinimumContentsLength(28);
        for (const std::string& device : devices) {
            choice->addItem(QString::fromStdString(device));
        }
        choice->setEditText(QString::fromStdString(map.Mapped(number)));
        const std::string variable = PortMap::EnvironmentName(number);
        if (const char* overridden = std::getenv(variable.c_str());
            overridden != nullptr && *overridden != '\0') {
            // The environment wins over this map while it is set.
            choice->setToolTip(QStringLiteral("%1 is set: %2 opens %3")
                                   .arg(QString::fromStdString(variable),
                                        QStringLiteral("COM%1").arg(number),
                                        QString::fromLocal8Bit(overridden)));
        }
        choices_[static_cast<std::size_t>(number - 1)] = choice;
        form->addRow(QStringLiteral("COM%1").arg(number), choice);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

PortMap CPortDevicesDlg::Result() const {
    PortMap map;
    for (int number = 1; number <= kPortCount; ++number) {
        const QString text = Choice(number)->currentText().trimmed();
        if (!text.isEmpty()) {
            map.SetMapped(number, text.toStdString());
        }
    }
    return map;
}

}  // namespace zx840
