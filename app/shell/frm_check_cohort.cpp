#include "frm_check_cohort.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "db/database.h"
#include "db/left_out.h"
#include "main_window.h"
#include "py/cohort_problems.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx {

void MenuToolsCheckCohort(QMainWindow* window) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    main->runStudyCommand([main](ProgramState& state, Interaction& ui) {
        // The work history and id of the exposure axis, the death column of the last SMR.
        const ExposureAxis& axis = state.Exposure.computed() ? state.Exposure.axis : state.ExposureEntry;
        py::CohortCheckRequest request;
        request.workHistory = axis.workHistory;
        request.idColumn = axis.workHistory.empty() ? std::string() : axis.idColumn;
        request.hireColumn = axis.hireColumn;
        request.deathColumn = state.mortality.DeathColumn;
        std::vector<py::CohortProblem> problems;
        db::LeftOutPersons kept;     // the list the study keeps now
        db::LeftOutPersons persons;  // the persons of these problems
        try {
            BusyPointer busy(ui);
            auto db = db::Database::open(state.WorkingCopyName);
            problems = py::CheckCohort(state, *db, request);
            kept = db::ReadLeftOut(*db, state.MainTableName);
            persons.rows = py::ProblemPersons(state, *db, problems, request);
        } catch (const VdxError& e) {
            ui.message(e.description(), Buttons::Ok, Icon::Exclamation, "Check cohort");
            return;
        }
        QDialog dialog(main);
        dialog.setObjectName("frmCheckCohort");
        dialog.setWindowTitle("Check cohort");
        auto* layout = new QVBoxLayout(&dialog);
        auto* summary = new QLabel(&dialog);
        summary->setObjectName("lblSummary");
        summary->setText(problems.empty()
                             ? QString("No problem found in %1%2.")
                                   .arg(QString::fromStdString(state.MainTableName))
                                   .arg(request.workHistory.empty()
                                            ? QString()
                                            : " and " + QString::fromStdString(request.workHistory))
                             : QString("%1 problem(s) found. Mend them in the tables, then compute again.")
                                   .arg(problems.size()));
        layout->addWidget(summary);
        auto* table = new QTableWidget(static_cast<int>(problems.size()), 5, &dialog);
        table->setObjectName("grdProblems");
        table->setHorizontalHeaderLabels({"Code", "Table", "Row", "Columns", "Values"});
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        for (int r = 0; r < static_cast<int>(problems.size()); ++r) {
            const auto& p = problems[static_cast<size_t>(r)];
            const QString cells[] = {QString::fromStdString(p.code), QString::fromStdString(p.table),
                                     QString::number(p.row), QString::fromStdString(p.columns),
                                     QString::fromStdString(p.values)};
            for (int c = 0; c < 5; ++c) table->setItem(r, c, new QTableWidgetItem(cells[c]));
        }
        table->horizontalHeader()->setStretchLastSection(true);
        table->resizeColumnsToContents();
        table->setMinimumSize(640, 300);
        layout->addWidget(table);
        // Leave the persons out of every run, or (unticked) include everybody
        // again: the runs then stop at the first bad row.
        auto* leaveOut = new QCheckBox(
            QString("Leave these persons out of every run (%1 person(s); summaries and reports say so)")
                .arg(persons.count()),
            &dialog);
        leaveOut->setObjectName("chkLeaveOut");
        leaveOut->setChecked(!kept.empty() && !persons.empty());
        leaveOut->setEnabled(!persons.empty());
        layout->addWidget(leaveOut);
        auto* now = new QLabel(&dialog);
        now->setObjectName("lblLeftOut");
        now->setText(kept.empty() ? QString("Every run includes every person now.")
                                  : QString::fromStdString("Now: " + db::LeftOutSentence(kept)));
        layout->addWidget(now);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        dialog.exec();
        const bool wanted = leaveOut->isChecked();
        if ((wanted ? persons.fingerprint() : std::string()) == kept.fingerprint()) return;
        try {
            auto db = db::Database::open(state.WorkingCopyName);
            py::KeepLeftOut(state, *db, problems, request, wanted);
        } catch (const VdxError& e) {
            ui.message(e.description(), Buttons::Ok, Icon::Exclamation, "Check cohort");
            return;
        }
        state.ProjectChanged = true;
        ui.message(wanted ? db::LeftOutSentence(persons) +
                                " Every run leaves them out from now on; compute the person-years again."
                          : std::string("Every person is included again; compute the person-years again."),
                   Buttons::Ok, Icon::Information, "Check cohort");
    });
}

}  // namespace vdx
