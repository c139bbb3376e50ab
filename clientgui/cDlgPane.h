// What the three panes of the main window share: a dialog made from its template that
// holds one list view (control 1004), driven by an object that also observes the
// engine.
#pragma once
#include "NNTPmodel_iface.h"
#include "cWnd.h"
#include "listView.h"

#include <vector>

constexpr int IDC_LIST = 1004;
// Clicks this close to the list's left edge hit the row's state icon.
constexpr int ICON_CLICK_WIDTH = 15;

class cDlgPane : public cWnd, public _observer {
  public:
    // Builds the pane inside `parentWindow`, takes its window over and delivers
    // WM_INITDIALOG to it. 6 when the pane exists already.
    int createPane(HWND parentWindow, int dialogTemplate);
    cListView* listView() const { return list; }

  protected:
    // The template's controls, with their ids.
    virtual void buildTemplate(QWidget* dialog) = 0;

    // Rows selected now, in row order, as the ids `ids` holds for them.
    std::vector<int> selectedIds(const std::vector<int>& ids) const;
    // Selects exactly the rows whose ids are in `wanted` (rows move when a list is read
    // again), without notifying anybody.
    void reselect(const std::vector<int>& ids, const std::vector<int>& wanted);

    cListView* list = nullptr;
};
