// The look of the program's menus: a checkable item shows a plain check
// mark when it is checked and nothing at all when it is not, whatever the
// style would draw (some styles draw an empty box for every unchecked item).
#pragma once

#include <QProxyStyle>

namespace zx840 {

class MenuMarkStyle : public QProxyStyle {
    Q_OBJECT
  public:
    // Draws like the application's style at the time it is made.
    explicit MenuMarkStyle(QObject* parent);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace zx840
