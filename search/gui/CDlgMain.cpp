#include "CDlgMain.h"

void CDlgMain::buildTemplate(QWidget* dialog, int) {
    dialog->setWindowTitle("Miravel v0.3.2");
    dialog->resize(800, 600);
}

intptr_t CDlgMain::WndProcCustom(QWidget*, unsigned message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE) {
        OnCmdClose();
        return 1;
    }
    return 0;
}

void CDlgMain::OnCmdClose() {
    postQuitMessage(0);
}
