// The post pane: the imported posts, one row each with its progress (share done and
// size left), as a virtual list over the queue's post and file records. A click shows
// the post's files in the file pane.
#pragma once
#include "cDlgPane.h"
#include "updateQueue.h"

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

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_NOTIFY(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  private:
    void HandleManager();
    void buildTemplate(QWidget* dialog) override;
    void refill();
    void clicked();
    void cell(LVITEM& item);
    // Post ids whose progress changed; -1 for "the post list changed".
    void apply(std::vector<int>& batch);

    NNTPmodel_iface* queue = nullptr;
    std::vector<int> ids;
    cUpdateQueue<int> changes;
};
