#include "report/runtime_folder.h"

#include <QFile>
#include <QTemporaryDir>

namespace zx840 {

RuntimeFolder::RuntimeFolder() {
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        folder_ = std::make_unique<QTemporaryDir>();
        if (folder_->isValid()) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder_->path()));
        }
    }
}

RuntimeFolder::~RuntimeFolder() {
    if (folder_) {
        qunsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace zx840
