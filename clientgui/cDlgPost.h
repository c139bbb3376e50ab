// The post pane: the imported posts, one row each with its progress (share done and
// size left, or the stage after the download: verifying, unpacking, done, failed...), as
// a virtual list over the queue's post and file records. A click shows the post's files
// in the file pane.
#pragma once
#include "cDlgPane.h"
#include "updateQueue.h"

#include <string>

constexpr int IDD_POSTS = 105;
// Sent to the main window with the post id in lParam: show that post's files.
constexpr int IDM_SHOWPOST = 32780;

class cDlgPost : public cDlgPane {
  public:
    cDlgPost();
    ~cDlgPost() override;

    // Attaches to the queue (the model's getqueue()), or detaches with null.
    void setmodel(NNTPmodel_iface* queue);
    // Engine threads.
    void update(unsigned code, void* data) override;
    // Sends `code` with the selected posts to the queue.
    void onKeyCommand(int code);

    const std::vector<int>& postIds() const { return ids; }
    // The selected post's own folder when it exists, else empty.
    std::string selectedFolder() const;
    // Opens the selected post's folder with the desktop's file manager.
    void openFolder();

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_NOTIFY(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  private:
    void HandleManager();
    void buildTemplate(QWidget* dialog) override;
    void refill();
    void clicked();
    void cell(LVITEM& item);
    void stageCell(const tpost& post, LVITEM& item);
    // A post whose progress changed, by its id (-1: the post list changed) or, for a stage
    // change, by its record: the queue's notification carries no id, and the record is
    // only compared, never read, on the UI thread.
    struct tchange {
        int pid;
        const tpost* record;
    };
    void apply(std::vector<tchange>& batch);
    int rowOf(const tchange& change) const;

    NNTPmodel_iface* queue = nullptr;
    std::vector<int> ids;
    cUpdateQueue<tchange> changes;
};
