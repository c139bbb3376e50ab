// The search panel: the strip at the top of the search window with the keyword,
// newsgroup, age, size and watchlist boxes, the Search button, one tab per engine and
// the update notice. It searches nothing itself: its boxes are filled from the list
// files, and every notification goes on to the main window, which turns it into a
// result filter or a search.
#pragma once
#include "CWnd.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class CMiravel;
class QComboBox;

class CDlgSearch : public CWnd {
  public:
    static constexpr int TEMPLATE_ID = 104;
    // Control ids of template 104.
    static constexpr int IDC_LABEL = 1002;
    static constexpr int IDC_KEYWORD = 1014;
    static constexpr int IDC_WATCHLIST = 1015;
    static constexpr int IDC_AGE = 1016;
    static constexpr int IDC_SIZE = 1017;
    static constexpr int IDC_NEWSGROUP = 1018;
    static constexpr int IDC_SEARCH = 1020;
    static constexpr int IDC_UPDATE = 32773;
    // Engine tabs: IDC_FIRSTTAB + engine position, at most MAXTABS of them.
    static constexpr int IDC_FIRSTTAB = 1025;
    static constexpr int MAXTABS = 16;
    // Where the list files are and how they are named.
    static constexpr const char* LISTFILE = "./cfg/%s.txt";

    explicit CDlgSearch(CMiravel& miravel);
    ~CDlgSearch() override;

    intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                           intptr_t lparam) override;

    // Refills every box from its list file, keeping what the user has typed.
    void refreshlist();
    // Fills `box` from the list file named by `format` ("%s" is the list name). The typed
    // text is kept; a missing file leaves the box empty.
    static void CBO_ReadCache(QWidget* box, const char* format, const char* list);
    // Any thread: remembers `available` and shows the update notice.
    void setUpdateAvailable(int available);
    int updateAvailable() const { return updateFlag.load(); }
    // What a click on the shown update notice does (opens the maker's program page);
    // without one the notice is not clickable.
    void setUpdateOpener(std::function<void()> opener);

  protected:
    void buildTemplate(QWidget* dialog, int templateId) override;

  private:
    intptr_t OnCmdInitDialog(QWidget* window);
    intptr_t OnCmdCommand(uintptr_t wparam, intptr_t lparam);
    void OnCmdSize(uintptr_t kind, int width);
    void OnLButtonUp(int x, int y);
    void CreateEgnineTabs(QWidget* window);
    void showUpdateNotice();
    bool updateClickable() const;

    CMiravel& miravel;
    std::atomic<int> updateFlag{0};
    std::function<void()> updateOpener;
    // Carries calls from other threads to the window thread; pending ones die with it.
    std::unique_ptr<QObject> relay;
};
