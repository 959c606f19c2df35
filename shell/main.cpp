// The Kalorivox program on the Qt 6 window toolkit.
#include <QApplication>
#include <QIcon>

#include "shell/program.h"
#include "ui/qt/qt_toolkit.h"

int main(int argc, char** argv) {
    kv::ui::InstallQtToolkit(argc, argv);
    // Embedded, so that a copy of the executable alone still shows its icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kalorivox/kalorivox.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("kalorivox"));
    return kv::ProgramMain();
}
