// Start-up of the program (Main): the main window prepared and shown, the
// SMR null value read from the settings, the project file of the command
// line opened on the first activation.
#pragma once

#include <QString>
#include <QStringList>

namespace vdx {

class MainWindow;

// The whole command line after the program's name, as one path: the
// arguments joined by single blanks (a path with blanks given unquoted
// arrives as several arguments).
QString CommandLinePath(const QStringList& arguments);

// Runs the start-up steps on a loaded main window and shows it. The project
// file named by commandLine opens once the window is first active.
void StartUp(MainWindow& window, const QString& commandLine, bool showSplash = true);

}  // namespace vdx
