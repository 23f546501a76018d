// "Port Devices": which serial device each of COM1 to COM8 stands for.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "meter/port_map.h"

class QComboBox;

namespace zx840 {

class CPortDevicesDlg : public QDialog {
    Q_OBJECT
  public:
    // `devices` are offered in each list; any path may be typed instead.
    CPortDevicesDlg(const PortMap& map, const std::vector<std::string>& devices,
                    QWidget* parent = nullptr);

    // The map as the operator left it (empty entries keep the default).
    PortMap Result() const;
    QComboBox* Choice(int number) const { return choices_[static_cast<std::size_t>(number - 1)]; }

  private:
    std::array<QComboBox*, kPortCount> choices_{};
};

}  // namespace zx840
