// The About box: product title, version, notice, company and contact.
#pragma once

#include <QDialog>

namespace zx840 {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static constexpr const char* kVersionLine = "Version:1.05";
    static constexpr const char* kNoticeLine =
        "Copyright (C) 2024-2026 Orvalisto Instruments. All rights reserved.";
    static constexpr const char* kCompanyLine = "Orvalisto Instruments";
    static constexpr const char* kContactLine = "E-mail: support@orvalisto.example";

    // The text block: five lines separated by blank lines.
    static QString Text();
};

}  // namespace zx840
