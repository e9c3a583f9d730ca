// Compute > SMR by category: the dialog that chooses the rate table, the
// cause of death, the level and the method for the SMR per exposure
// category of the last person-years run with an exposure axis.
#pragma once

class QMainWindow;

namespace vdx {

void MenuComputeSmrByCategory(QMainWindow* window);

}  // namespace vdx
