// The About dialog: product name and version, what the client is for, and links to the
// maker's pages. Opening it once stops the main window from showing it by itself again.
#pragma once
#include "cModalDialog.h"

#include <QUrl>

#include <functional>

class dlgAbout : public cModalDialog {
  public:
    static constexpr int TEMPLATE_ID = 103;
    static constexpr int IDC_VERSION = 1002;
    static constexpr int IDC_HOMEPAGE = 1030;
    static constexpr int IDC_CONTACT = 1031;
    static constexpr int IDC_HOWTO = 1032;

    using t_opener = std::function<void(const QUrl&)>;

    // A click on a link hands its address to `open` (the desktop's browser by default).
    // Ends with IDOK for "Close" and IDCANCEL for the window's close.
    explicit dlgAbout(t_opener open = {});

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_COMMAND(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  protected:
    void buildControls(QDialog* dialog) override;

  private:
    t_opener openLink;
};

// Runs the About dialog over `parent`; returns the result it ended with.
int showAboutDialog(QWidget* parent);
