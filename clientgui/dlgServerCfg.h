// The Server configuration dialog: edits one news server entry of the Configuration
// dialog's working copy. The entry changes only on Ok.
#pragma once
#include "cModalDialog.h"

class QLayout;

constexpr int NNTP_DEFAULT_PORT = 119;
constexpr int NNTP_TLS_DEFAULT_PORT = 563;

// One news server as the configuration file keeps it. An empty host name marks a free
// entry.
struct serverEntry {
    char hostname[128];
    int port;
    int maxconnection;
    char username[64];
    char password[64];
    int ssl;       // 1: implicit TLS
    int sslverify; // 1: the certificate is checked (the default)
};

// The port a server falls back to: 563 with TLS, else 119.
inline int defaultPort(const serverEntry& entry) {
    return entry.ssl ? NNTP_TLS_DEFAULT_PORT : NNTP_DEFAULT_PORT;
}

class dlgServerCfg : public cModalDialog {
  public:
    static constexpr int TEMPLATE_ID = 108;
    static constexpr int IDC_HOSTNAME = 1015;
    static constexpr int IDC_PORT = 1019;
    static constexpr int IDC_MAXCONNECTION = 1020;
    static constexpr int IDC_SPIN = 1021;
    static constexpr int IDC_USERNAME = 1022;
    static constexpr int IDC_PASSWORD = 1023;
    static constexpr int IDC_SSL = 1025;
    static constexpr int IDC_SSLVERIFY = 1026;

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
    QLayout* addTlsChecks(QWidget* parent);
    // Ticking TLS on the plain default port proposes the TLS one, and back.
    void tlsToggled(bool on);

    serverEntry& entry;
    int position = 0;
};
