// VELDRIX: person-years and mortality analysis of occupational cohort studies.
// The whole command line, if any, is the project file to open.
#include <QApplication>
#include <clocale>

#include "main_window.h"
#include "startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Numbers are read and written with the point as decimal separator,
    // whatever the desktop's language (Qt switches the C library to it).
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("VELDRIX");
    QApplication::setOrganizationName("VELDRIX");
    vdx::MainWindow window;
    vdx::StartUp(window, vdx::CommandLinePath(QApplication::arguments()));
    return app.exec();
}
