// The "Results Store" dialog: whether the window keeps every measurement,
// and where (the per-user SQLite file, another SQLite file, or a PostgreSQL
// server shared by a line). The password is asked apart and never saved.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "store/store_url.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zx840 {

inline constexpr char kResultsStoreDlgTitle[] = "Results Store";

// Where the window keeps its results.
struct StoreChoice {
    bool keep = true;
    std::string url;       // without its password; empty for the default store
    std::string password;  // for this run only
    friend bool operator==(const StoreChoice&, const StoreChoice&) = default;
};

// The store a choice names: ZX840_DB when it is set (`fromEnvironment`
// then says so), else the chosen URL with the password of the run, else
// the default SQLite file. Nothing, with `error`, for a URL that is not one.
std::optional<StoreUrl> ChosenStore(const StoreChoice& choice, bool* fromEnvironment,
                                    std::string* error);

class CResultsStoreDlg : public QDialog {
    Q_OBJECT
  public:
    CResultsStoreDlg(StoreChoice choice, QWidget* parent = nullptr);

    const StoreChoice& Choice() const { return choice_; }

    // For tests.
    QCheckBox* KeepBox() const { return keep_; }
    QLineEdit* UrlEdit() const { return url_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QLabel* TestAnswer() const { return answer_; }
    // Tries the store the entries name and says on the dialog what it found.
    void TestStore();

  public slots:
    void accept() override;

  private:
    // The entries as a choice; nothing (after saying why) when the URL is
    // not one.
    std::optional<StoreChoice> Entries();

    StoreChoice choice_;
    bool fromEnvironment_ = false;
    QCheckBox* keep_;
    QLineEdit* url_;
    QLineEdit* password_;
    QLabel* answer_;
};

}  // namespace zx840
