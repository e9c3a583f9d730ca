#include "frm_categories.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include "death_value_choice.h"
#include "db/database.h"
#include "db/project_file.h"
#include "main_window.h"
#include "mortality/categories.h"
#include "mortality/smr_run.h"
#include "state/messages.h"
#include "state/text_values.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QComboBox* Combo(QWidget* parent, const char* name, const std::vector<std::string>& entries, int selected) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (const auto& e : entries) combo->addItem(Q(e));
    combo->setCurrentIndex(selected);
    return combo;
}

// The table as lines of text, for the message after the run.
std::string ReportText(const mortality::CategoryTable& t, const std::string& name) {
    std::string text = "SMR by category (" + name + "), exposure axis " + t.axis + ":\r\n";
    auto line = [&](const mortality::CategoryRow& r) {
        text += "\r\n" + r.category + ": PY " + NumberText(std::round(r.personYears * 100) / 100) + ", O " +
                std::to_string(r.observed) + ", E " + NumberText(std::round(r.expected * 100) / 100) + ", SMR " +
                (r.smr ? NumberText(std::round(*r.smr * 100)) + " (" + NumberText(std::round(*r.low * 100)) + "-" +
                             NumberText(std::round(*r.high * 100)) + ")"
                       : std::string("not defined"));
    };
    for (const auto& r : t.rows) line(r);
    line(t.total);
    if (t.daysBelow > 0)
        text += "\r\n\r\n" + std::to_string(t.daysBelow) + " person-days below the first bound are in no category.";
    return text;
}

}  // namespace

void MenuComputeSmrByCategory(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    std::string shown;
    main->runStudyCommand([main, &shown](ProgramState& state, Interaction& ui) {
        if (!state.Exposure.computed()) {
            ui.message("There are no person-years by exposure category: compute the person-years with an exposure "
                       "axis first (Compute > Person-Years, Exposure axis).",
                       Buttons::Ok, Icon::Exclamation, "VELDRIX");
            return;
        }
        const mortality::SmrChoices choices = mortality::ListSmrChoices(state);
        QDialog dialog(main);
        dialog.setObjectName("frmCategories");
        dialog.setWindowTitle("SMR by Exposure Category");
        auto* rate = Combo(&dialog, "comRateTable", choices.rateTables, choices.rateTables.empty() ? -1 : 0);
        auto* death = Combo(&dialog, "comDeathColumn", choices.deathColumns, -1);
        DeathValueChoice deathValue(&dialog, state);
        auto* level = Combo(&dialog, "comLevel", choices.levels, choices.defaultLevel);
        auto* method = Combo(&dialog, "comMethod", choices.methods, choices.defaultMethod);
        auto* name = new QLineEdit(&dialog);
        name->setObjectName("txtName");
        name->setPlaceholderText("Categories1");
        auto* form = new QFormLayout(&dialog);
        form->addRow("&Rate table:", rate);
        form->addRow("Death &variable:", death);
        form->addRow(deathValue.codesButton(), deathValue.codesText());
        form->addRow(deathValue.causeButton(), deathValue.causeRow());
        form->addRow("Significance &level:", level);
        form->addRow("&Method:", method);
        form->addRow("&Name:", name);
        auto* buttons = new QDialogButtonBox(&dialog);
        buttons->addButton("Compute", QDialogButtonBox::AcceptRole)->setObjectName("cmdCompute");
        buttons->addButton(QDialogButtonBox::Cancel);
        form->addRow(buttons);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        for (;;) {
            if (dialog.exec() != QDialog::Accepted) return;
            if (deathValue.refusedAsIncomplete(ui)) continue;
            mortality::CategoryRequest request;
            request.rateTable = rate->currentText().toStdString();
            request.deathColumn = death->currentText().toStdString();
            deathValue.read(request.deathValueText, request.causeList, request.cause);
            request.levelText = level->currentText().toStdString();
            request.method = method->currentText().toStdString();
            mortality::CategoryTable table;
            std::string chosen = name->text().trimmed().toStdString();
            if (!mortality::RunCategories(state, ui, request, chosen, &table)) continue;  // the message said why
            shown = table.analysis;
            ui.message(ReportText(table, shown), Buttons::Ok, Icon::Information, "SMR by Exposure Category");
            return;
        }
    });
    if (!shown.empty()) main->openNode(Q(shown + "_SMR by category"));
}

}  // namespace vdx
