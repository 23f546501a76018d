#include "app/results_store_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "record/product_identity.h"
#include "store/results_store.h"
#include "view/operator_report.h"

namespace zx840 {

namespace {

std::string DefaultStoreText() {
    return "sqlite:" + DefaultStorePath();
}

// ZX840_DB when it is set and not empty.
const char* StoreEnvironment() {
    const char* text = std::getenv(kStoreEnvironment);
    return text != nullptr && *text != '\0' ? text : nullptr;
}

}  // namespace

std::optional<StoreUrl> ChosenStore(const StoreChoice& choice, bool* fromEnvironment,
                                    std::string* error) {
    const char* environment = StoreEnvironment();
    if (fromEnvironment != nullptr) {
        *fromEnvironment = environment != nullptr;
    }
    const std::string text = environment != nullptr ? environment
                             : choice.url.empty()   ? DefaultStoreText()
                                                    : choice.url;
    StoreUrlParse parse = ParseStoreUrl(text);
    if (!parse.url) {
        if (error != nullptr) {
            *error =
                (environment != nullptr ? std::string(kStoreEnvironment) + ": " : "") + parse.error;
        }
        return std::nullopt;
    }
    if (environment == nullptr && parse.url->password.empty()) {
        parse.url->password = choice.password;
    }
    return parse.url;
}

CResultsStoreDlg::CResultsStoreDlg(StoreChoice choice, QWidget* parent)
    : QDialog(parent), choice_(std::move(choice)) {
    setWindowTitle(QString::fromLatin1(kResultsStoreDlgTitle));
    auto* layout = new QVBoxLayout(this);
    keep_ = new QCheckBox(QStringLiteral("&Keep every measurement in the results store"));
    keep_->setChecked(choice_.keep);
    layout->addWidget(keep_);

    auto* form = new QFormLayout;
    url_ = new QLineEdit;
    url_->setPlaceholderText(QString::fromStdString(DefaultStoreText()));
    url_->setMinimumWidth(url_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60);
    password_ = new QLineEdit;
    password_->setEchoMode(QLineEdit::Password);
    password_->setText(QString::fromStdString(choice_.password));
    form->addRow(QStringLiteral("&Store:"), url_);
    form->addRow(QStringLiteral("&Password:"), password_);
    layout->addLayout(form);

    const char* environment = StoreEnvironment();
    fromEnvironment_ = environment != nullptr;
    QString note;
    if (fromEnvironment_) {
        // Shown without its password, and not to be changed here.
        const StoreUrlParse parse = ParseStoreUrl(environment);
        url_->setText(parse.url ? QString::fromStdString(parse.url->Display())
                                : QStringLiteral("(not a store URL)"));
        url_->setReadOnly(true);
        password_->setEnabled(false);
        note = QStringLiteral("%1 names the store for this run.")
                   .arg(QString::fromLatin1(kStoreEnvironment));
    } else {
        url_->setText(QString::fromStdString(choice_.url));
        note = QStringLiteral(
            "Empty for the store of this user. sqlite:FILE for another file; "
            "postgresql://USER@HOST[:PORT]/DBNAME for a server shared by several stations.\n"
            "The password is kept for this run only; put it in ~/.pgpass to have it at "
            "every start.");
    }
    auto* noteLabel = new QLabel(note);
    noteLabel->setWordWrap(true);
    layout->addWidget(noteLabel);

    answer_ = new QLabel;
    answer_->setWordWrap(true);
    answer_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(answer_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* test = buttons->addButton(QStringLiteral("&Test"), QDialogButtonBox::ActionRole);
    connect(test, &QPushButton::clicked, this, &CResultsStoreDlg::TestStore);
    connect(buttons, &QDialogButtonBox::accepted, this, &CResultsStoreDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CResultsStoreDlg::reject);
    layout->addWidget(buttons);
}

std::optional<StoreChoice> CResultsStoreDlg::Entries() {
    StoreChoice entries = choice_;
    entries.keep = keep_->isChecked();
    if (fromEnvironment_) {
        return entries;  // the URL is not the dialog's to change
    }
    entries.password = password_->text().toStdString();
    const std::string text = url_->text().trimmed().toStdString();
    if (text.empty() || text == DefaultStoreText()) {
        entries.url.clear();
        return entries;
    }
    const StoreUrlParse parse = ParseStoreUrl(text);
    if (!parse.url) {
        Tell(this, Severity::Warning, QString::fromLatin1(kAppTitle),
             QString::fromStdString(parse.error));
        url_->setFocus();
        return std::nullopt;
    }
    // A password written into the URL goes where passwords go: never saved.
    if (!parse.url->password.empty()) {
        entries.password = parse.url->password;
        password_->setText(QString::fromStdString(entries.password));
    }
    // Written back as read: pressing Test again reads the same URL.
    entries.url = WriteStoreUrlWithoutPassword(*parse.url);
    url_->setText(QString::fromStdString(entries.url));
    return entries;
}

void CResultsStoreDlg::TestStore() {
    const std::optional<StoreChoice> entries = Entries();
    if (!entries) {
        return;
    }
    std::string error;
    const std::optional<StoreUrl> url = ChosenStore(*entries, nullptr, &error);
    QString answer;
    if (!url) {
        answer = QString::fromStdString(error);
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        StoreStatus status;
        std::int64_t count = 0;
        const std::unique_ptr<ResultsStore> store = ResultsStore::Open(*url, &status);
        if (store) {
            status = store->Count({}, &count);
        }
        QApplication::restoreOverrideCursor();
        answer = status
                     ? QStringLiteral("%1 answers and holds %2 %3.")
                           .arg(QString::fromStdString(url->Display()))
                           .arg(count)
                           .arg(count == 1 ? QStringLiteral("result") : QStringLiteral("results"))
                     : QString::fromStdString(status.message);
    }
    answer_->setText(answer);
}

void CResultsStoreDlg::accept() {
    const std::optional<StoreChoice> entries = Entries();
    if (!entries) {
        return;
    }
    choice_ = *entries;
    QDialog::accept();
}

}  // namespace zx840
