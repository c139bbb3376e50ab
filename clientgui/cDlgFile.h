// The file pane: the files of the post chosen in the post pane, as a virtual list over
// the queue's file records, with the post's date and subject above it. Progress and
// state notifications redraw only the cell they change.
#pragma once
#include "cDlgPane.h"
#include "updateQueue.h"

constexpr int IDD_FILES = 106;
constexpr int IDC_FILEDATE = 1005;
constexpr int IDC_FILESUBJECT = 1006;

class cDlgFile : public cDlgPane {
  public:
    cDlgFile();
    ~cDlgFile() override;

    // Attaches to the model's queue and decoder, or detaches with null.
    void setmodel(NNTPmodel_iface* model);
    // Engine threads.
    void update(unsigned code, void* data) override;
    // Shows the files of post `pid`.
    void showPost(int pid);
    // Sends `code` with the selected files (`selection` 1) or all files of the list
    // (`selection` 0) to the queue.
    void onKeyCommand(int code, int selection);

    int shownPost() const { return post; }
    const std::vector<int>& fileIds() const { return ids; }

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_NOTIFY(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  private:
    // A notification as the UI thread needs it: the file's post and row are read on
    // the notifying thread, so no record pointer crosses threads.
    struct tchange {
        unsigned code;
        int pid;
        int row;
    };

    void HandleManager();
    void buildTemplate(QWidget* dialog) override;
    void apply(std::vector<tchange>& changes);
    void refill();
    void cell(LVITEM& item);
    void iconClicked(const NMITEMACTIVATE& click);
    void keyDown(int key);

    NNTPmodel_iface* queue = nullptr;
    NNTPmodel_iface* decoder = nullptr;
    int post = 0;
    std::vector<int> ids;
    cUpdateQueue<tchange> changes;
};
