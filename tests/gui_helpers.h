// Helpers for tests that drive the real widgets.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace zx840::testing {

struct SeenMessage {
    bool shown = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Runs `trigger`, answering every modal message box it opens with its
// default button; returns what the first one said.
inline SeenMessage AnswerMessageBoxes(const std::function<void()>& trigger, int* count = nullptr) {
    SeenMessage seen;
    int boxes = 0;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        if (!seen.shown) {
            seen = {true, box->windowTitle(), box->text(), box->icon()};
        }
        ++boxes;
        box->done(box->defaultButton() != nullptr ? box->standardButton(box->defaultButton())
                                                  : QMessageBox::Ok);
    });
    watcher.start();
    trigger();
    watcher.stop();
    if (count != nullptr) {
        *count = boxes;
    }
    return seen;
}

}  // namespace zx840::testing
