// The window library's entry: the launcher calls runloop once, on its main thread, and
// ends when it returns.
#include "CDlgMain.h"

#include <QApplication>

#include <memory>

namespace {

// Argument vector for a QApplication when the caller passed none.
char programName[] = "miravel";
char* defaultArguments[] = {programName, nullptr};

} // namespace

// The arguments go to Qt (display options and the like); the environment is not used.
// Returns 0, also when the main window could not be made.
extern "C" __attribute__((visibility("default"))) int runloop(int argc, char** argv, char** envp) {
    (void)envp;
    int qtArgc = argc > 0 && argv ? argc : 1;
    char** qtArgv = argc > 0 && argv ? argv : defaultArguments;
    std::unique_ptr<QApplication> ownApplication;
    if (!QApplication::instance()) ownApplication = std::make_unique<QApplication>(qtArgc, qtArgv);
    // Only Exit and the close box end the loop, never a closing dialog.
    const bool quitOnClose = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    {
        CDlgMain main;
        if (QWidget* window = main.Create(nullptr, CDlgMain::TEMPLATE_ID)) {
            window->show();
            QApplication::exec();
        }
    }
    QApplication::setQuitOnLastWindowClosed(quitOnClose);
    return 0;
}
