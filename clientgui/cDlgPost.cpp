#include "cDlgPost.h"

#include "contextMenus.h"
#include "windowFunctions.h"

#include <QCursor>
#include <QHeaderView>

#include <cstdio>
#include <cstring>

cDlgPost::cDlgPost() : postListChanges([this](std::vector<char>&) { refill(); }) {
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
    list->header()->setStretchLastSection(true);
}

void cDlgPost::on_WM_SIZE(HWND, uintptr_t wParam, intptr_t lParam) {
    if (wParam != SIZE_RESTORED && wParam != SIZE_MAXIMIZED) return;
    list->setGeometry(1, 1, loWord(lParam) - 2, hiWord(lParam) - 2);
    list->setColumnWidth(0, list->viewport()->width());
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
        postListChanges.discard();
        queue = nullptr;
    }
}

void cDlgPost::update(unsigned code, void*) {
    if (code == updPostList) postListChanges.push(0);
}

void cDlgPost::refill() {
    if (!queue || !list) return;
    std::vector<int> selected = selectedIds(ids);
    queue->qposts(&ids);
    list->setItemCount((int)ids.size());
    reselect(ids, selected);
}

void cDlgPost::cellText(LVITEM& item) {
    if (!queue || item.iItem < 0 || item.iItem >= (int)ids.size()) return;
    tpost* post = queue->qpost(ids[item.iItem]);
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
        cellText(reinterpret_cast<NMLVDISPINFO*>(lParam)->item);
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
