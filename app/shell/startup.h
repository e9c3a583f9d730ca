// Start-up of the program (Main): the main window prepared and shown, the
// SMR null value read from the settings, the project file of the command
// line opened on the first activation.
#pragma once

#include <QString>
#include <QStringList>

namespace vdx {

class MainWindow;

// What the command line asks for. Options come first ("--help", "-h",
// "--version"; "--" ends them); the rest, joined by single blanks, is the
// path of the project file to open (a path with blanks given unquoted
// arrives as several arguments). Anything else that begins with "-" is an
// option the program does not know, and is refused rather than taken for a
// file name.
struct CommandLine {
    enum class Action { Open, Help, Version, Refuse };
    Action action = Action::Open;
    QString path;  // Open: the project file, empty for none
    QString text;  // Help, Version: what to print; Refuse: why
};
CommandLine ParseCommandLine(const QStringList& arguments);

// Runs the start-up steps on a loaded main window and shows it. The project
// file named by commandLine opens once the window is first active.
void StartUp(MainWindow& window, const QString& commandLine, bool showSplash = true);

}  // namespace vdx
