// Helpers for tests that drive the real widgets.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <ostream>

#include "record/file_io.h"
#include "record/measurement_file.h"

// Shows strings, and lists of them, as text in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace zx840::testing {

// A test file of product number `number` and no measurement, named `name`
// in `dir`; its path.
inline QString WriteTest(const QTemporaryDir& dir, const char* name, std::int32_t number) {
    ProductMark mark;
    mark.Number = number;
    mark.Testday = "26-12-08";
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(WriteFileAtomically(path.toStdString(), SerializeTest(mark, MeasurementRecord{})));
    return path;
}

struct SeenMessage {
    bool shown = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Runs `trigger`, answering every modal message box it opens with its
// default button; returns what the first one said. `count` counts the boxes
// as they are answered, from 0.
inline SeenMessage AnswerMessageBoxes(const std::function<void()>& trigger, int* count = nullptr) {
    SeenMessage seen;
    int boxes = 0;
    if (count != nullptr) {
        *count = 0;
    }
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
        if (count != nullptr) {
            *count = boxes;
        }
        box->done(box->defaultButton() != nullptr ? box->standardButton(box->defaultButton())
                                                  : QMessageBox::Ok);
    });
    watcher.start();
    trigger();
    watcher.stop();
    return seen;
}

// Processes events until `condition` holds or `timeoutMs` pass; whether it
// came to hold. (QTRY_VERIFY reports to Qt Test, which these tests do not
// use.)
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace zx840::testing
