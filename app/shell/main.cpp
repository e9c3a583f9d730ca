// VELDRIX: person-years and mortality analysis of occupational cohort studies.
// The command line, if any, is the project file to open; --help and
// --version are answered without a window.
#include <QApplication>
#include <clocale>
#include <cstdio>

#include "project/jet_project.h"
#include "main_window.h"
#include "startup.h"

namespace {

// Prints what the command line asks for instead of running; the exit code,
// or -1 to run.
int AnswerCommandLine(const vdx::CommandLine& line) {
    switch (line.action) {
        case vdx::CommandLine::Action::Open: return -1;
        case vdx::CommandLine::Action::Help:
        case vdx::CommandLine::Action::Version: std::fputs(line.text.toLocal8Bit().constData(), stdout); return 0;
        case vdx::CommandLine::Action::Refuse: std::fputs(line.text.toLocal8Bit().constData(), stderr); return 2;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version need no display, so they are answered before Qt
    // starts; an unknown option waits until Qt has taken its own (-platform,
    // -style, ...) off the list.
    QStringList raw;
    for (int i = 0; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    if (const auto early = vdx::ParseCommandLine(raw); early.action != vdx::CommandLine::Action::Refuse)
        if (const int code = AnswerCommandLine(early); code >= 0) return code;

    QApplication app(argc, argv);
    const vdx::CommandLine line = vdx::ParseCommandLine(QApplication::arguments());
    if (const int code = AnswerCommandLine(line); code >= 0) return code;
    // Numbers are read and written with the point as decimal separator,
    // whatever the desktop's language (Qt switches the C library to it).
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("VELDRIX");
    QApplication::setOrganizationName("VELDRIX");
    vdx::project::RegisterJetProjectImport();
    vdx::MainWindow window;
    vdx::StartUp(window, line.path);
    return app.exec();
}
