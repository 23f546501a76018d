// The "Test Plan" dialog: which plan judges the measurements (none, the
// plan of the product's type, or one chosen), and an editor for the plans
// of the plan folder. Entries that are not valid are refused in the dialog.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "plan/plan_file.h"

class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QTableWidget;

namespace zx840 {

inline constexpr char kTestPlanDlgTitle[] = "Test Plan";

// What judges the measurements.
struct PlanChoice {
    enum class Mode { None, ByType, File };
    Mode mode = Mode::ByType;
    std::string file;    // the plan file, for Mode::File
    std::string folder;  // where plans are kept
    friend bool operator==(const PlanChoice&, const PlanChoice&) = default;
};

// The plan a choice makes active for a product type; `error` says why a
// chosen file could not be used, or, by type, why a plan file of the folder
// that may be the type's plan was refused (when no readable one matches).
std::optional<TestPlan> ActivePlanFor(const PlanChoice& choice, const std::string& type,
                                      std::string* error);

class CTestPlanDlg : public QDialog {
    Q_OBJECT
  public:
    CTestPlanDlg(PlanChoice choice, QWidget* parent = nullptr);

    const PlanChoice& Choice() const { return choice_; }

    // The editor's plan, or nothing with `problem` naming the entry that is
    // not valid.
    std::optional<TestPlan> EditedPlan(std::string* problem) const;
    // Puts `plan` into the editor.
    void Edit(const TestPlan& plan);
    // Saves the editor's plan into the plan folder; false (after saying
    // why) when an entry is not valid or the file cannot be written.
    bool SaveEdited();

    // For tests.
    QComboBox* UseBox() const { return use_; }
    QTableWidget* Readings() const { return readings_; }
    QTableWidget* Harmonics() const { return harmonics_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* TypeEdit() const { return type_; }
    QComboBox* ClassBox() const { return class_; }

  public slots:
    void accept() override;

  private:
    QLayout* LimitTables();
    void FillUseBox(const std::string& select);
    void UseChanged();
    void ChangeFolder();
    void Refuse(const std::string& problem);

    PlanChoice choice_;
    std::vector<std::string> files_;  // plan files of the folder, as the box lists them
    QComboBox* use_;
    QLabel* folder_;
    QLineEdit* name_;
    QLineEdit* type_;
    QComboBox* class_;
    QTableWidget* readings_;
    QTableWidget* harmonics_;
    // What the editor has no entries for (derived limits, MeterCheck) of
    // the plan put into it, kept when it is saved.
    TestPlan notEdited_;
};

}  // namespace zx840
