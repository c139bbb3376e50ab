// The list view of the panes and dialogs: a report list with a header, full-row
// selection and an optional 16 x 16 image in the first column, in one of two modes:
// - owner data (virtual): the list holds only a row count; every visible cell is asked
//   from the parent window with WM_NOTIFY LVN_GETDISPINFO when it is drawn;
// - real rows: the list keeps the texts and images itself.
// It tells its parent window about clicks, right clicks, key presses and column width
// changes with WM_NOTIFY (wparam: the list's control id, lparam: the structure).
#pragma once
#include "cWnd.h"

#include <QIcon>
#include <QPoint>
#include <QTreeView>

#include <string>
#include <vector>

struct NMHDR {
    HWND hwndFrom;
    int idFrom;
    int code;
};

// Notification codes.
constexpr int NM_CLICK = -2;
constexpr int NM_RCLICK = -5;
constexpr int LVN_KEYDOWN = -155;
constexpr int LVN_GETDISPINFO = -177;
constexpr int HDN_ITEMCHANGED = -301;

// NM_CLICK, NM_RCLICK: the row and column under the pointer (-1 when none) and the
// pointer in the list's coordinates.
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    QPoint ptAction;
};

// LVN_KEYDOWN: the key as a virtual key code (digits and letters are their upper-case
// characters, Delete 46, Space 32).
struct NMLVKEYDOWN {
    NMHDR hdr;
    int wVKey;
};
constexpr int VK_SPACE = 32;
constexpr int VK_DELETE = 46;

// LVN_GETDISPINFO: fill pszText (cchTextMax bytes), iImage, iProgress and/or bFailed as
// the mask asks. iProgress is asked only for a progress column: 0 to 1000 (tenths of a
// percent) draws a bar under the text, -1 (as asked) plain text. bFailed, asked for the
// bar of a progress column, set to 1 draws the bar in the error colour.
constexpr unsigned LVIF_TEXT = 1;
constexpr unsigned LVIF_IMAGE = 2;
constexpr unsigned LVIF_PROGRESS = 4;
constexpr unsigned LVIF_FAILED = 8;
constexpr int PROGRESS_FULL = 1000;
struct LVITEM {
    unsigned mask;
    int iItem;
    int iSubItem;
    char* pszText;
    int cchTextMax;
    int iImage;
    int iProgress;
    int bFailed;
};
struct NMLVDISPINFO {
    NMHDR hdr;
    LVITEM item;
};

class ListViewModel;

class cListView : public QTreeView {
  public:
    cListView(QWidget* parent, int id, bool ownerData, bool multipleSelection);
    ~cListView() override;

    void insertColumn(int column, const char* title, int width);
    int columns() const;
    void setImages(std::vector<QIcon> images);
    // Cells of `column` are drawn as progress bars carrying their text.
    void setProgressColumn(int column);
    // Once the list first has rows, every column gets the width of its widest text among
    // the first rows and its title, and at least `least[i]` (numbers and texts that come
    // later need room). For a first start, when no stored widths exist.
    void fitColumnsWhenFilled(std::vector<int> least);

    // Owner data: the number of rows.
    void setItemCount(int count);
    int itemCount() const;

    // Real rows.
    void insertItem(int row, const char* text);
    void setItemText(int row, int column, const char* text);
    void setItemImage(int row, int image);
    void deleteItem(int row);
    void deleteAllItems();

    // Selection in row order; -1 / empty when nothing is selected.
    int firstSelected() const;
    std::vector<int> selectedRows() const;
    // Selects only `row`, makes it current and gives the list the focus.
    void selectRow(int row);

    // Marks the cell (or the row's image) for redrawing; redraws are merged by Qt.
    void redrawCell(int row, int column);
    void redrawImage(int row);

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    intptr_t notifyParent(NMHDR* header);
    friend class ListViewModel;

    // Widths set by the program, not by the user, tell the parent nothing.
    void setWidthQuietly(int column, int width);
    void fitIfWaiting();
    void fitColumns();
    int contentWidth(int column) const;

    int id;
    ListViewModel* listModel;
    bool settingWidths = false;
    bool fitWaiting = false;
    bool fitScheduled = false;
    std::vector<int> leastWidths;
    friend void LVN_loadheaderwidth(cListView*, const char*, const char*, const char*);
};

// Inserts column i with titles[i] and widths[i] for every title up to the null one.
void LVN_setheaders(cListView* list, const char* const* titles, const int* widths);
// Inserts a row at `row` from a text cut at its tabs: first piece column 0, next pieces
// columns 1, 2, ... The text is modified.
void LVN_insert_item(cListView* list, int row, char* text);
// Column widths from the key (default "100;100;100;100;100;100;100;100"): the i-th
// number of at most 32 sets column i; columns beyond the numbers keep their width.
void LVN_loadheaderwidth(cListView* list, const char* section, const char* key, const char* file);
// Loads the stored widths as above when the key holds any; otherwise the columns fit
// their content, and at least `least`, once the list has rows (fitColumnsWhenFilled).
void LVN_restoreheaderwidth(cListView* list, const char* section, const char* key, const char* file,
                            std::vector<int> least);
// Writes every column's width followed by ";", e.g. "500;50;75;100;".
void LVN_saveheaderwidth(cListView* list, const char* section, const char* key, const char* file);
// Parses a width list as LVN_loadheaderwidth does.
std::vector<int> parseWidthList(const char* text);
