// The results panel: a virtual list over one page of the results database, sorted by a
// click on a column header and filtered per column through a small editor opened by a
// right click on the header. A refresh thread re-reads the page when a filter or the
// sort order has changed; the window thread only ever shows a finished page.
#pragma once
#include "CThreadSingle.h"
#include "CWnd.h"
#include "ResultPages.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

class CMiravel;
class QLineEdit;
class QTableView;
class ResultTableModel;
struct ListNotify;

class CDlgResult : public CWnd, public CThreadSingle {
  public:
    static constexpr int TEMPLATE_ID = 105;
    static constexpr int IDC_LIST = 1112;
    static constexpr int IDC_FILTER = 1113;
    // Commands the list's keys send to the main window.
    static constexpr int IDM_KEY_DELETE = 32785;      // Delete
    static constexpr int IDM_KEY_SHIFTDELETE = 32786; // Shift+Delete
    static constexpr int IDM_KEY_DOWNLOAD = 32782;    // Ctrl+D
    static constexpr int IDM_KEY_DOWNLOADALL = 32783; // Ctrl+U
    static constexpr int IDM_KEY_INFO = 32784;        // Ctrl+I
    // The longest filter text a column keeps.
    static constexpr int FILTER_CHARS = 63;

    // Reads the first page of `view` at once, so the columns are known before the window
    // exists.
    CDlgResult(CMiravel& miravel, const char* view);
    // Stops the refresh thread before anything it uses goes away.
    ~CDlgResult() override;

    intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                           intptr_t lparam) override;
    // The refresh loop: every fifth pass of 100 ms looks at the refresh flag.
    int Run() override;

    // Any thread. Copies the filter of the first column called `name` into `text`
    // (FILTER_CHARS + 1 bytes); `text` is left alone when no column has that name.
    void GetFilter(const char* name, char* text) const;
    // Any thread. Sets the filter of the first column called `name`, cut to FILTER_CHARS
    // (null clears it); with `refresh`, the page is re-read at the next look.
    void SetFilter(const char* name, const char* text, bool refresh);
    // The texts of column `column` of the selected rows (mode 0) or of the focused row
    // (mode 2), in list order, joined by `separator`, each in single quotes when `quote`;
    // only the first row unless `all`. Valid until the next call.
    const char* GetSelected(int mode, int column, int all, const char* separator, int quote);

    // The filter editor: opened over the header item `rect` (panel coordinates) for
    // `column`; with no rectangle only brings back the editor already open for `column`.
    void OnShowFilter(const QRect* rect, int column);
    void OnEditFilter();
    void OnHideFilter();
    // A click on header item `column`: sort by it, or flip the direction when it is the
    // sort column already; nothing for the column whose editor is open.
    void OnCmdHdnClick(int column);

    // One pass of the refresh loop, without its sleep: true when it was a looking pass.
    // Meant for the refresh thread; a test may drive it while the thread is stopped.
    bool pollStep();
    // The length of one pass of the refresh loop, 100 ms unless changed.
    void setPollInterval(int ms) { pollMs = ms; }
    // How many times the page has been re-read since construction.
    int refreshCount() const { return rereads.load(); }
    bool refreshRequested() const { return refreshFlag.load() != 0; }
    int filterColumn() const { return filterCol; }
    int sortColumn() const { return pages.sortColumn(); }
    bool descending() const { return pages.descending(); }
    // The page on screen (window thread).
    const tRecordData& shownPage() const { return pages.shown(); }
    // The filters of the page on screen, as the status bar shows them (window thread).
    QString activeFilters() const;
    // Called on the window thread after each new page is shown.
    void onPageShown(std::function<void()> shown) { pageShown = std::move(shown); }

  protected:
    void buildTemplate(QWidget* dialog, int templateId) override;

  private:
    intptr_t OnCmdInitDialog();
    intptr_t OnCmdNotify(const ListNotify& notify);
    intptr_t OnCmdCommand(uintptr_t wparam);
    void OnCmdSize(uintptr_t kind, int width, int height);
    intptr_t OnCmdContextMenu(QWidget* under, int x, int y);
    intptr_t OnListKey(int key, int modifiers);
    // Window thread, while the refresh thread does not run: reads and shows a page.
    void readNow();
    // Re-reads the page into a fresh one and hands it to the window thread.
    void reread();
    // Window thread: shows the latest page the refresh thread has parked.
    void adoptParked();
    // Selects again the rows of `page` that show the results in `keep`, and focuses the
    // one that shows `focused`.
    void reselect(const tRecordData& page, const std::unordered_set<std::string>& keep,
                  const std::string& focused);
    void applyColumns();
    void showSortIndicator();
    QTableView* list() const;
    QLineEdit* editor() const;
    QWidget* mainWindow() const;

    CMiravel& miravel;
    ResultPages pages;
    std::unique_ptr<ResultTableModel> model;
    std::atomic<int> refreshFlag{0};
    std::atomic<int> rereads{0};
    std::atomic<int> pollMs{100};
    int pollCounter = 0; // refresh thread only
    int filterCol = -1;
    std::string selection;
    std::function<void()> pageShown;
    // Carries finished pages to the window thread; pending ones die with it.
    std::unique_ptr<QObject> relay;
};
