// Tools > Check cohort: every problem of the main data table and the work
// history in one list (code, table, row, columns, values).
#pragma once

class QMainWindow;

namespace vdx {

void MenuToolsCheckCohort(QMainWindow* window);

}  // namespace vdx
