#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include "help_windows.h"
#include "main_window.h"
#include "settings_store.h"

namespace vdx {

CommandLine ParseCommandLine(const QStringList& arguments) {
    const QString usage = "usage: veldrix [--help | --version] [--] [PROJECT.vdx]\n";
    CommandLine result;
    int first = 1;
    for (; first < arguments.size() && arguments[first].startsWith('-'); ++first) {
        const QString& option = arguments[first];
        if (option == "--") {
            ++first;
            break;
        }
        if (option == "--help" || option == "-h") {
            result.action = CommandLine::Action::Help;
            result.text = usage +
                          "\nPerson-years and mortality analysis of occupational cohort studies.\n"
                          "Opens the project file PROJECT.vdx, if one is given.\n\n"
                          "  --help     show this help and exit\n"
                          "  --version  show the program's version and exit\n"
                          "  --         end of the options: what follows is the project file\n";
            return result;
        }
        if (option == "--version") {
            result.action = CommandLine::Action::Version;
            result.text = QString::fromStdString(kApplicationName + " " + kProgramVersion + " (file format " +
                                                 kFormatVersion + ")\n");
            return result;
        }
        result.action = CommandLine::Action::Refuse;
        result.text = "veldrix: unknown option '" + option + "'\n" + usage;
        return result;
    }
    result.path = arguments.mid(first).join(' ');
    return result;
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
