// The Configuration dialog: download folder, start-up mode, what happens after a download
// and the news servers of config.ini, edited in a working copy that reaches the file only
// on Ok. The main window tells the model the settings changed after an Ok.
#pragma once
#include "cModalDialog.h"
#include "dlgServerCfg.h"

class cListView;

constexpr int MAX_SERVERS = 16;

// What the dialog edits. The used server entries are the leading ones, in list order.
struct nntpConfig {
    char downloadto[1024];
    char tempfolder[1024];
    int autoloadGUI;
    int postprocess; // verify and repair finished posts
    int unpack;      // unpack their archives (only with postprocess)
    int cleanup;     // remove archives and PAR2 files after unpacking (only with unpack)
    serverEntry servers[MAX_SERVERS];
};

class dlgNNTPCfg : public cModalDialog {
  public:
    static constexpr int TEMPLATE_ID = 107;
    static constexpr int IDC_SERVERLIST = 1004;
    static constexpr int IDC_DOWNLOADTO = 1010;
    static constexpr int IDC_BROWSE = 1011;
    static constexpr int IDC_EDIT = 1016;
    static constexpr int IDC_NEW = 1017;
    static constexpr int IDC_DELETE = 1018;
    static constexpr int IDC_MINIMIZED = 1024;
    static constexpr int IDC_POSTPROCESS = 1027;
    static constexpr int IDC_UNPACK = 1028;
    static constexpr int IDC_CLEANUP = 1029;

    // Ends with IDOK after writing config.ini, or IDCANCEL having written nothing.
    dlgNNTPCfg();

    const nntpConfig& workingCopy() const { return config; }
    cListView* serverList() const;

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_COMMAND(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  protected:
    void buildControls(QDialog* dialog) override;

  private:
    QWidget* addAfterDownload(QWidget* parent);
    // Unpack needs post-processing, cleanup needs unpack: a box is greyed without them.
    void greyDependentChecks();
    void readConfig();
    void writeConfig();
    void browseFolder();
    void editServer();
    void newServer();
    void deleteServer();
    // Host name, port and connections of the entry in its row.
    void showServer(int row);

    nntpConfig config{};
};

// Runs the Configuration dialog over `parent`: IDOK when config.ini was written,
// IDCANCEL otherwise.
int showConfigDialog(QWidget* parent);
