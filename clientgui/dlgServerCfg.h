// The Server configuration dialog: edits one news server entry of the Configuration
// dialog's working copy. The entry changes only on Ok.
#pragma once
#include "cModalDialog.h"

constexpr int NNTP_DEFAULT_PORT = 119;

// One news server as the configuration file keeps it. An empty host name marks a free
// entry.
struct serverEntry {
    char hostname[128];
    int port;
    int maxconnection;
    char username[64];
    char password[64];
};

class dlgServerCfg : public cModalDialog {
  public:
    static constexpr int TEMPLATE_ID = 108;
    static constexpr int IDC_HOSTNAME = 1015;
    static constexpr int IDC_PORT = 1019;
    static constexpr int IDC_MAXCONNECTION = 1020;
    static constexpr int IDC_SPIN = 1021;
    static constexpr int IDC_USERNAME = 1022;
    static constexpr int IDC_PASSWORD = 1023;

    // Ends with IDOK (the entry updated) or IDCANCEL (the entry as it was).
    explicit dlgServerCfg(serverEntry& entry);

    // The spin control's position and one step of it: a step below 0 is refused, any
    // other becomes the position and the "Max connections:" text.
    int spinPosition() const { return position; }
    void spin(int delta);

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_COMMAND(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  protected:
    void buildControls(QDialog* dialog) override;

  private:
    QWidget* addSpinControl(QWidget* parent);

    serverEntry& entry;
    int position = 0;
};
