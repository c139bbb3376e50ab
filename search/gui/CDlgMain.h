// The search tool's main window. It owns the search coordinator and the two panels (the
// search panel on top, the results panel below), carries the menu and the status bar,
// and turns menu commands and panel notifications into calls on the coordinator and the
// results panel. As the coordinator's observer it hears of new results, finished NZB
// downloads and an available update; those calls arrive on the fetcher's thread and
// reach the window only as queued calls, never waiting for the window thread.
#pragma once
#include "CWnd.h"
#include "MMiravelObserver.h"
#include "WebAddresses.h"

#include <QObject>
#include <QPointer>
#include <QStatusBar>

#include <functional>
#include <memory>
#include <string>

class CDlgResult;
class CDlgSearch;
class CMiravel;
class QMenuBar;

class CDlgMain : public CWnd, public MMiravelObserver {
  public:
    static constexpr int TEMPLATE_ID = 100;
    static constexpr int IDC_STATUSBAR = 1001;
    // Commands of the menu, the accelerators and the panels.
    enum Command : int {
        IDC_ENGINETAB = 1025,
        IDM_ABOUT = 32772,
        IDM_HISTORY = 32773,
        IDM_CONTACT = 32774,
        IDM_EXIT = 32775,
        IDM_OPENNZB = 32776,
        IDM_DELETENZB = 32777,
        IDM_DELETETEMP = 32778,
        IDM_RESETDB = 32779,
        IDM_UPDATECHECK = 32780,
        IDM_DOWNLOAD = 32781,
        IDM_DOWNLOADCOMBINED = 32782,
        IDM_DOWNLOADKEY = 32783,
        IDM_RESULTKEY_I = 32784,
        IDM_RESULTKEY_DEL = 32785,
        IDM_RESULTKEY_SHIFTDEL = 32786,
        IDM_UPDATEAGE = 32787,
        IDM_REFRESHLISTS = 32788,
        IDM_EDITKEYWORD = 32789,
        IDM_EDITNEWSGROUP = 32790,
        IDM_EDITAGE = 32791,
        IDM_EDITSIZE = 32792,
        IDM_EDITWATCHLIST = 32793,
        IDA_UNHANDLED = 1021,
    };
    static constexpr int SEARCH_HEIGHT = 45;
    static constexpr int RESULT_HEIGHT_LESS = 78;

    // Makes the coordinator (whose folder becomes the working folder) and both panels.
    CDlgMain();
    ~CDlgMain() override;

    intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                           intptr_t lparam) override;

    // Writes the list file "./cfg/<list>.txt", one entry of the null-terminated `entries`
    // per line ending in "\r\n", unless it exists and `overwrite` is false.
    static void CreateList(const char* list, const char* const* entries, bool overwrite);
    // Hands the text of the search panel's control `id` to the results panel as the
    // filter `name`: the selected list entry when `fromSelection`, else the typed text.
    // Newsgroups are filtered in the short form the results store ("a.b.").
    void SetFilter(const char* name, int id, bool fromSelection, bool refresh);
    void OnIdmSearch();
    // The selected results as NZB files: one request per result when `separate`, else
    // one request for all of them.
    void OnIdmDownld(int unused, bool separate);
    // Opens `target` with the desktop; with `name`, "%s" in `target` is replaced by
    // `name`, or `name` is appended as a file of the folder `target`. Empty: nothing.
    void OnIdmOpen(const char* target, const char* name = nullptr);
    // Asks the update host for the version history; nothing without an update host.
    void OnIdmUpdateCheck();

    // Observer operations, called on the coordinator's reporting thread.
    void handleDataChanged() override;
    void handleOpenResponse(const char* path) override;
    void handleUpdateAvailable(const char* path) override;
    // Shows the engine's refusal in the status bar.
    void handleEngineNotice(const char* text) override;

    CMiravel& coordinator() { return *miravel; }
    CDlgSearch& searchPanel() { return *search; }
    CDlgResult& resultPanel() { return *result; }
    const WebAddresses& webAddresses() const { return web; }
    // What opening with the desktop does; openWithDesktop unless replaced.
    void setOpener(std::function<void(const std::string&)> opener);

  protected:
    void buildTemplate(QWidget* dialog, int templateId) override;

  private:
    intptr_t OnCmdInitDialog(QWidget* window);
    intptr_t OnCmdCommand(uintptr_t wparam, intptr_t lparam);
    void OnCmdSize(uintptr_t kind, int width, int height);
    void OnCmdClose();
    void buildMenu(QWidget* dialog);
    void openAddress(const std::string& address);
    std::string searchText(int id) const;
    std::string engineFilter() const;

    // Carries observer calls to the window thread; made first and gone last, so it
    // outlives the coordinator's fetcher thread, and pending calls die with it.
    std::unique_ptr<QObject> relay;
    std::unique_ptr<CMiravel> miravel;
    std::unique_ptr<CDlgResult> result;
    std::unique_ptr<CDlgSearch> search;
    WebAddresses web;
    std::function<void(const std::string&)> open;
    QMenuBar* menuBar = nullptr;
    QPointer<QStatusBar> statusBar;
};
