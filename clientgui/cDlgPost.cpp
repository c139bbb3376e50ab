#include "cDlgPost.h"

#include "contextMenus.h"
#include "queueProgress.h"
#include "windowFunctions.h"

#include <QCursor>
#include <QHeaderView>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const int kProgressColumn = 1;
const int kProgressWidth = 130;
// In a batch of changed posts: the list itself changed.
const int kPostList = -1;

} // namespace

cDlgPost::cDlgPost() : changes([this](std::vector<int>& batch) { apply(batch); }) {
    HandleManager();
}

cDlgPost::~cDlgPost() {
    setmodel(nullptr);
}

void cDlgPost::HandleManager() {
    AddHandler(WM_INITDIALOG, &cDlgPost::on_WM_INITDIALOG);
    AddHandler(WM_NOTIFY, &cDlgPost::on_WM_NOTIFY);
    AddHandler(WM_SIZE, &cDlgPost::on_WM_SIZE);
}

void cDlgPost::buildTemplate(QWidget* dialog) {
    new cListView(dialog, IDC_LIST, true, false);
}

void cDlgPost::on_WM_INITDIALOG(HWND hwnd, uintptr_t, intptr_t) {
    list = static_cast<cListView*>(GetDlgItem(hwnd, IDC_LIST));
    list->insertColumn(0, "Description", 95);
    list->insertColumn(kProgressColumn, "progress", kProgressWidth);
    list->setProgressColumn(kProgressColumn);
    // The description takes what the progress column leaves of the pane.
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
}

void cDlgPost::on_WM_SIZE(HWND, uintptr_t wParam, intptr_t lParam) {
    if (wParam != SIZE_RESTORED && wParam != SIZE_MAXIMIZED) return;
    list->setGeometry(1, 1, loWord(lParam) - 2, hiWord(lParam) - 2);
}

void cDlgPost::setmodel(NNTPmodel_iface* model) {
    if (model && !queue) {
        printf("attach pqueue ");
        queue = model;
        queue->attach(this);
        refill();
    } else if (!model && queue) {
        printf("detach pqueue ");
        queue->detach(this);
        changes.discard();
        queue = nullptr;
    }
}

// The post list, or the post whose file made progress or changed state (its id).
void cDlgPost::update(unsigned code, void* data) {
    if (code == updPostList)
        changes.push(kPostList);
    else if ((code == updFileProgress || code == updFileState) && data)
        changes.push(static_cast<tfile*>(data)->filePID);
}

void cDlgPost::apply(std::vector<int>& batch) {
    if (std::find(batch.begin(), batch.end(), kPostList) != batch.end()) {
        refill(); // redraws every row
        return;
    }
    std::sort(batch.begin(), batch.end());
    batch.erase(std::unique(batch.begin(), batch.end()), batch.end());
    for (int pid : batch) {
        auto shown = std::find(ids.begin(), ids.end(), pid);
        if (shown != ids.end()) list->redrawCell((int)(shown - ids.begin()), kProgressColumn);
    }
}

void cDlgPost::refill() {
    if (!queue || !list) return;
    std::vector<int> selected = selectedIds(ids);
    queue->qposts(&ids);
    list->setItemCount((int)ids.size());
    reselect(ids, selected);
}

void cDlgPost::cell(LVITEM& item) {
    if (!queue || item.iItem < 0 || item.iItem >= (int)ids.size()) return;
    const int pid = ids[item.iItem];
    if (item.iSubItem == kProgressColumn) {
        const tprogress progress = postProgress(queue, pid);
        if (item.mask & LVIF_PROGRESS) item.iProgress = progress.share(PROGRESS_FULL);
        if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0)
            snprintf(item.pszText, (size_t)item.cchTextMax, "%s", progressText(progress).c_str());
        return;
    }
    tpost* post = queue->qpost(pid);
    if (!post || !(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return;
    snprintf(item.pszText, (size_t)item.cchTextMax, "%s", post->postDesc);
}

void cDlgPost::clicked() {
    int row = list->firstSelected();
    if (row < 0 || row >= (int)ids.size()) return;
    sendCommand(getrootWindow(handle()), IDM_SHOWPOST, 0, ids[row]);
}

void cDlgPost::on_WM_NOTIFY(HWND, uintptr_t, intptr_t lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    switch (header->code) {
    case LVN_GETDISPINFO:
        cell(reinterpret_cast<NMLVDISPINFO*>(lParam)->item);
        break;
    case NM_CLICK:
        clicked();
        break;
    case NM_RCLICK:
        clicked();
        showPostsMenu(getrootWindow(handle()), QCursor::pos());
        break;
    case LVN_KEYDOWN:
        if (reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey != VK_DELETE) break;
        onKeyCommand(cmdPostRemove);
        refill();
        if (ids.empty()) break;
        list->selectRow(0);
        clicked();
        break;
    default:
        break;
    }
}

void cDlgPost::onKeyCommand(int code) {
    std::vector<int> selected = selectedIds(ids);
    if (!queue || selected.empty()) return;
    queue->handleCommandT((unsigned)code, &selected, nullptr);
}
