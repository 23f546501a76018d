#include <QApplication>

#include "app/zx840_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zx840::CZX840ENApp program;
    if (!program.InitInstance(QApplication::arguments())) {
        return 1;
    }
    return QApplication::exec();
}
