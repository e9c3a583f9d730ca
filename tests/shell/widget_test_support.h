// Helpers of the QtTest programs: a clean settings store and data folder, a
// scripted interaction that also counts the hourglass, clicks on tree nodes
// and answers to modal windows.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "db/file_commands.h"
#include "main_window.h"
#include "startup.h"
#include "state/scripted_interaction.h"

namespace vdx::test {

// The text of a PDF file, as pdftotext reads it.
inline QString PdfText(const QString& pdf) {
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    return text.waitForFinished(30000) ? QString::fromUtf8(text.readAllStandardOutput()) : QString();
}

// Empties the folders the settings store and the file association use.
inline void ClearUserFolders() {
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const QString path = qEnvironmentVariable(var);
        if (path.isEmpty() || !path.contains("home")) continue;  // only a test's own folder
        QDir(path).removeRecursively();
        QDir().mkpath(path);
    }
}

// Remembers whether the hourglass was shown.
class CountingInteraction : public ScriptedInteraction {
public:
    int busyCalls = 0;
    void busy(bool on) override {
        if (on) ++busyCalls;
        ScriptedInteraction::busy(on);
    }
};

// The main window of a dialog test: started as the program starts it, shown,
// and answering through ui.
inline void OpenTestWindow(std::unique_ptr<MainWindow>& w, Interaction& ui) {
    w = std::make_unique<MainWindow>();
    w->setInteraction(&ui);
    StartUp(*w, "", false);
    w->resize(900, 600);
    w->show();
}

// Closes it without questions and releases the working copy of its study.
inline void CloseTestWindow(std::unique_ptr<MainWindow>& w) {
    if (!w) return;
    w->state().ProjectChanged = false;
    db::ReleaseWorkingCopy(w->state());
    w.reset();
}

inline QTreeWidget* Tree(MainWindow& w) { return w.findChild<QTreeWidget*>("Navigator"); }

inline QStringList TreePaths(MainWindow& w) {
    QStringList out;
    for (QTreeWidgetItemIterator it(Tree(w)); *it; ++it) out << w.nodePath(*it);
    return out;
}

// Clicks a node of the tree with the mouse and lets the click run.
inline bool ClickTreeNode(MainWindow& w, const QString& path, Qt::MouseButton button = Qt::LeftButton) {
    QTreeWidget* tree = Tree(w);
    QTreeWidgetItem* item = w.findNode(path);
    if (!item) return false;
    tree->scrollToItem(item);
    const QPoint at = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), button, Qt::NoModifier, at);
    QCoreApplication::processEvents();
    return true;
}

// Runs handler on the next modal window once it is shown (message box, dialog).
inline void OnNextModal(std::function<void(QWidget*)> handler, int attempts = 3000) {
    QTimer::singleShot(10, [handler, attempts] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            handler(modal);
        } else if (attempts > 0) {
            OnNextModal(handler, attempts - 1);
        }
    });
}

// A named child widget; a warning names it when it is missing.
template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child) qWarning("no child %s", name);
    return child;
}

// Runs handler on the next modal window of type T (a QFileDialog, a
// QMessageBox ...) once it is shown.
template <typename T>
void OnNextModalOf(std::function<void(T*)> handler, int attempts = 3000) {
    QTimer::singleShot(10, [handler, attempts] {
        T* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal && modal->isVisible()) {
            handler(modal);
        } else if (attempts > 0) {
            OnNextModalOf<T>(handler, attempts - 1);
        }
    });
}

// Closes a dialog with accept(), again a little later while it stays open
// (a file dialog still reading its folder may keep itself open).
template <typename T>
void AcceptUntilClosed(T* dialog, int attempts = 200) {
    QPointer<T> d(dialog);
    if (!d || !d->isVisible()) return;
    static_cast<QDialog*>(d.data())->accept();
    QTimer::singleShot(20, [d, attempts] {
        if (d && d->isVisible() && attempts > 0) AcceptUntilClosed<T>(d.data(), attempts - 1);
    });
}

}  // namespace vdx::test
