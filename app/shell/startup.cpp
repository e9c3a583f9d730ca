#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include "help_windows.h"
#include "main_window.h"
#include "settings_store.h"

namespace vdx {

QString CommandLinePath(const QStringList& arguments) {
    return arguments.mid(1).join(' ');
}

void StartUp(MainWindow& window, const QString& commandLine, bool showSplash) {
    ProgramState& state = window.state();
    // Compute > SRR stays hidden unless the user's settings show it.
    if (QAction* srr = window.findChild<QAction*>("mnuComputeSrr"))
        srr->setVisible(ReadShowSrr(window.settings()));

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QWidget* splash = showSplash ? CreateSplashWindow() : nullptr;
    if (splash) {
        splash->show();
        QApplication::processEvents();
    }

    state.FormatVersion = kFormatVersion;
    state.ProgramVersion = kProgramVersion;
    state.ProjectCount = 0;
    state.SmrNullValue = ReadSmrNullValue(window.settings());

    // The empty view, the Project menu out of the menu bar, the entries that
    // need a view switched off, the four fixed nodes.
    ShowView(state, ViewName::Empty);
    window.menus().mnuProject->menuAction()->setVisible(false);
    state.Entries = ViewEntries{};
    state.Navigator.clear();
    AddFixedNavigatorNodes(state);
    window.refreshFromState();

    window.setCommandLine(commandLine);
    window.show();

    if (splash) {
        splash->close();
        delete splash;
    }
    QApplication::restoreOverrideCursor();
}

}  // namespace vdx
