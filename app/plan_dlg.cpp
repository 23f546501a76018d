#include "app/plan_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "record/file_io.h"
#include "record/product_identity.h"
#include "view/operator_report.h"

namespace zx840 {

namespace {

constexpr int kUseNone = 0;
constexpr int kUseByType = 1;
constexpr int kFirstFile = 2;
constexpr const char* kClassNames[] = {"(none)", "A", "B", "C", "C25", "D"};

// A cell the operator fills in, or one that names its row.
enum class Cell { Editable, Heading };

QTableWidgetItem* NewCell(Cell cell, const QString& text = {}) {
    auto* item = new QTableWidgetItem(text);
    if (cell == Cell::Heading) {
        item->setFlags(Qt::ItemIsEnabled);
    }
    return item;
}

QString BoundText(const std::optional<double>& value) {
    return value ? QString::number(*value, 'g', 17) : QString();
}

// An entry of the tables: empty for no limit, else a number written with a
// decimal point whatever the locale. False when it is neither.
bool ReadNumber(const QTableWidgetItem* item, std::optional<double>& out) {
    const QString text = item != nullptr ? item->text().trimmed() : QString();
    out.reset();
    if (text.isEmpty()) {
        return true;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

std::optional<TestPlan> ActivePlanFor(const PlanChoice& choice, const std::string& type,
                                      std::string* error) {
    switch (choice.mode) {
        case PlanChoice::Mode::None:
            return std::nullopt;
        case PlanChoice::Mode::ByType: {
            std::vector<std::string> refused;
            const std::vector<TestPlan> plans = ReadPlanFolder(choice.folder, &refused);
            if (const TestPlan* plan = PlanForType(plans, type)) {
                return *plan;
            }
            // A plan file that cannot be read may be this type's plan: no
            // verdict is then no PASS, and the operator must know.
            if (!type.empty() && !refused.empty() && error != nullptr) {
                *error = refused.front();
                for (std::size_t i = 1; i < refused.size(); ++i) {
                    *error += "; " + refused[i];
                }
            }
            return std::nullopt;
        }
        case PlanChoice::Mode::File: {
            PlanRead read = ReadPlanFile(choice.file);
            if (!read.plan && error != nullptr) {
                *error = read.error;
            }
            return std::move(read.plan);
        }
    }
    return std::nullopt;
}

CTestPlanDlg::CTestPlanDlg(PlanChoice choice, QWidget* parent)
    : QDialog(parent), choice_(std::move(choice)) {
    setWindowTitle(QString::fromLatin1(kTestPlanDlgTitle));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QFormLayout;
    use_ = new QComboBox(this);
    top->addRow(QStringLiteral("Judge with:"), use_);
    auto* folderRow = new QHBoxLayout;
    folder_ = new QLabel(QString::fromStdString(choice_.folder), this);
    folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* changeFolder = new QPushButton(QStringLiteral("Change..."), this);
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(changeFolder);
    top->addRow(QStringLiteral("Plan folder:"), folderRow);
    layout->addLayout(top);

    auto* editor = new QFormLayout;
    name_ = new QLineEdit(this);
    type_ = new QLineEdit(this);
    class_ = new QComboBox(this);
    for (const char* name : kClassNames) {
        class_->addItem(QString::fromLatin1(name));
    }
    editor->addRow(QStringLiteral("Plan name:"), name_);
    editor->addRow(QStringLiteral("Product type:"), type_);
    editor->addRow(QStringLiteral("IEC 61000-3-2 class:"), class_);
    layout->addLayout(editor);

    layout->addLayout(LimitTables(), 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* save = buttons->addButton(QStringLiteral("Save Plan"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTestPlanDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTestPlanDlg::reject);
    connect(save, &QPushButton::clicked, this, [this] { SaveEdited(); });
    connect(changeFolder, &QPushButton::clicked, this, &CTestPlanDlg::ChangeFolder);

    FillUseBox(choice_.mode == PlanChoice::Mode::File ? choice_.file : std::string());
    if (choice_.mode != PlanChoice::Mode::File) {
        use_->setCurrentIndex(choice_.mode == PlanChoice::Mode::None ? kUseNone : kUseByType);
    }
    connect(use_, &QComboBox::currentIndexChanged, this, &CTestPlanDlg::UseChanged);
    UseChanged();
    resize(640, 520);
}

// The limits of the readings and of the harmonic orders, side by side.
QLayout* CTestPlanDlg::LimitTables() {
    readings_ = new QTableWidget(static_cast<int>(kPlanReadings), 3, this);
    readings_->setHorizontalHeaderLabels(
        {QStringLiteral("Reading"), QStringLiteral("Min"), QStringLiteral("Max")});
    for (int r = 0; r < static_cast<int>(kPlanReadings); ++r) {
        readings_->setItem(
            r, 0,
            NewCell(Cell::Heading,
                    QString::fromLatin1(PlanReadingName(static_cast<PlanReading>(r)))));
        readings_->setItem(r, 1, NewCell(Cell::Editable));
        readings_->setItem(r, 2, NewCell(Cell::Editable));
    }
    harmonics_ = new QTableWidget(kPlanHighestOrder - 1, 3, this);
    harmonics_->setHorizontalHeaderLabels(
        {QStringLiteral("Order"), QStringLiteral("U max %"), QStringLiteral("I max %")});
    for (int n = 2; n <= kPlanHighestOrder; ++n) {
        harmonics_->setItem(n - 2, 0, NewCell(Cell::Heading, QString::number(n)));
        harmonics_->setItem(n - 2, 1, NewCell(Cell::Editable));
        harmonics_->setItem(n - 2, 2, NewCell(Cell::Editable));
    }
    auto* tables = new QHBoxLayout;
    for (QTableWidget* table : {readings_, harmonics_}) {
        table->verticalHeader()->hide();
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        tables->addWidget(table);
    }
    return tables;
}

void CTestPlanDlg::FillUseBox(const std::string& select) {
    const QSignalBlocker blocker(use_);
    use_->clear();
    use_->addItem(QStringLiteral("No test plan"));
    use_->addItem(QStringLiteral("The plan of the product's type"));
    files_ = ListPlanFiles(choice_.folder);
    if (!select.empty() && std::find(files_.begin(), files_.end(), select) == files_.end()) {
        files_.push_back(select);  // a chosen plan kept elsewhere
    }
    for (const std::string& file : files_) {
        use_->addItem(QString::fromStdString(std::filesystem::path(file).stem().string()));
        if (file == select) {
            use_->setCurrentIndex(use_->count() - 1);
        }
    }
}

void CTestPlanDlg::UseChanged() {
    const int index = use_->currentIndex();
    if (index < kFirstFile) {
        return;
    }
    const PlanRead read = ReadPlanFile(files_[static_cast<std::size_t>(index - kFirstFile)]);
    if (read.plan) {
        Edit(*read.plan);
    } else {
        Refuse(read.error);
    }
}

void CTestPlanDlg::ChangeFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Plan folder"), QString::fromStdString(choice_.folder));
    if (folder.isEmpty()) {
        return;
    }
    choice_.folder = folder.toStdString();
    folder_->setText(folder);
    FillUseBox({});
    use_->setCurrentIndex(kUseByType);
}

void CTestPlanDlg::Edit(const TestPlan& plan) {
    notEdited_.derived = plan.derived;
    notEdited_.meterCheck = plan.meterCheck;
    name_->setText(QString::fromStdString(plan.name));
    type_->setText(QString::fromStdString(plan.type));
    class_->setCurrentIndex(plan.iec ? 1 + static_cast<int>(*plan.iec) : 0);
    for (int r = 0; r < static_cast<int>(kPlanReadings); ++r) {
        const auto& limit = plan.readings[static_cast<std::size_t>(r)];
        readings_->item(r, 1)->setText(limit ? BoundText(limit->min) : QString());
        readings_->item(r, 2)->setText(limit ? BoundText(limit->max) : QString());
    }
    for (int n = 2; n <= kPlanHighestOrder; ++n) {
        const auto at = static_cast<std::size_t>(n);
        harmonics_->item(n - 2, 1)->setText(BoundText(plan.uHarmonicMaxPercent[at]));
        harmonics_->item(n - 2, 2)->setText(BoundText(plan.iHarmonicMaxPercent[at]));
    }
}

std::optional<TestPlan> CTestPlanDlg::EditedPlan(std::string* problem) const {
    TestPlan plan;
    plan.derived = notEdited_.derived;
    plan.meterCheck = notEdited_.meterCheck;
    plan.name = name_->text().trimmed().toStdString();
    if (plan.name.empty() || plan.name.find('/') != std::string::npos || plan.name[0] == '.') {
        *problem = "The plan needs a name that can be a file name.";
        return std::nullopt;
    }
    plan.type = type_->text().toStdString();
    if (class_->currentIndex() > 0) {
        plan.iec = static_cast<IecClass>(class_->currentIndex() - 1);
    }
    for (int r = 0; r < static_cast<int>(kPlanReadings); ++r) {
        const std::string reading = PlanReadingName(static_cast<PlanReading>(r));
        Limit limit;
        if (!ReadNumber(readings_->item(r, 1), limit.min)) {
            *problem = reading + ": the minimum is not a number.";
            return std::nullopt;
        }
        if (!ReadNumber(readings_->item(r, 2), limit.max)) {
            *problem = reading + ": the maximum is not a number.";
            return std::nullopt;
        }
        if (limit.min && limit.max && *limit.min > *limit.max) {
            *problem = reading + ": the minimum is greater than the maximum.";
            return std::nullopt;
        }
        if (limit.min || limit.max) {
            plan.readings[static_cast<std::size_t>(r)] = limit;
        }
    }
    for (int n = 2; n <= kPlanHighestOrder; ++n) {
        for (int column = 1; column <= 2; ++column) {
            std::optional<double> max;
            std::string item(column == 1 ? "U" : "I");
            item += std::to_string(n);
            if (!ReadNumber(harmonics_->item(n - 2, column), max)) {
                *problem = item + ": the largest percent is not a number.";
                return std::nullopt;
            }
            if (max && *max < 0.0) {
                *problem = item + ": a percent of the fundamental cannot be negative.";
                return std::nullopt;
            }
            (column == 1 ? plan.uHarmonicMaxPercent
                         : plan.iHarmonicMaxPercent)[static_cast<std::size_t>(n)] = max;
        }
    }
    return plan;
}

bool CTestPlanDlg::SaveEdited() {
    std::string problem;
    const std::optional<TestPlan> plan = EditedPlan(&problem);
    if (!plan) {
        Refuse(problem);
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(choice_.folder, ec);
    const std::string path =
        (std::filesystem::path(choice_.folder) / (plan->name + "." + kPlanExtension)).string();
    const std::string json = PlanToJson(*plan);
    if (const FileStatus status =
            WriteFileAtomically(path, std::vector<std::uint8_t>(json.begin(), json.end()));
        !status) {
        Refuse("Cannot save the plan to " + path + ": " + status.Describe() + ".");
        return false;
    }
    FillUseBox(path);
    return true;
}

void CTestPlanDlg::accept() {
    const int index = use_->currentIndex();
    if (index == kUseNone) {
        choice_.mode = PlanChoice::Mode::None;
    } else if (index == kUseByType) {
        choice_.mode = PlanChoice::Mode::ByType;
    } else {
        // The plan being edited is the one chosen: what the operator typed
        // is saved first, unless it is what the file holds already.
        std::string problem;
        const std::optional<TestPlan> edited = EditedPlan(&problem);
        const PlanRead stored = ReadPlanFile(files_[static_cast<std::size_t>(index - kFirstFile)]);
        if (!(edited && stored.plan && *edited == *stored.plan) && !SaveEdited()) {
            return;
        }
        choice_.mode = PlanChoice::Mode::File;
        choice_.file = files_[static_cast<std::size_t>(use_->currentIndex() - kFirstFile)];
    }
    QDialog::accept();
}

void CTestPlanDlg::Refuse(const std::string& problem) {
    Tell(this, Severity::Warning, QString::fromLatin1(kAppTitle), QString::fromStdString(problem));
}

}  // namespace zx840
