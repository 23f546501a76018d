// Qt wants a private runtime folder ($XDG_RUNTIME_DIR) and warns on stderr
// when the environment names none, as under cron or `env -i`. Then a
// private folder of our own serves for as long as this object lives: make
// it before the application and let it go after.
#pragma once

#include <memory>

class QTemporaryDir;

namespace zx840 {

class RuntimeFolder {
  public:
    RuntimeFolder();
    ~RuntimeFolder();
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

  private:
    std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace zx840
