// The Kalorivox program on the Qt 6 window toolkit.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

#include "shell/close_signals.h"
#include "shell/program.h"
#include "ui/qt/qt_toolkit.h"

int main(int argc, char** argv) {
    kv::ui::InstallQtToolkit(argc, argv);
    // Embedded, so that a copy of the executable alone still shows its icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kalorivox/kalorivox.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("kalorivox"));
    // kill, Ctrl+C or a closed terminal end the program also while the About box is open.
    kv::CloseSignalsSetExtraAction(kv::ui::DismissMessageBoxForClose);
    const int code = kv::ProgramMain();
    // Everything the program owns was saved and released by the shutdown. A worker that did
    // not stop in time was let go, not joined, so the process ends here without running
    // static destructors under its feet.
    std::fflush(nullptr);
    std::_Exit(code);
}
