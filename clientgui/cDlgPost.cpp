#include "cDlgPost.h"

#include "contextMenus.h"
#include "desktopOpener.h"
#include "postStageText.h"
#include "queueProgress.h"
#include "windowFunctions.h"

#include <QCursor>
#include <QHeaderView>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

namespace {

const int kProgressColumn = 1;
const int kProgressWidth = 130;
// In a batch of changed posts: the list itself changed.
const int kPostList = -1;

} // namespace

cDlgPost::cDlgPost() : changes([this](std::vector<tchange>& batch) { apply(batch); }) {
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

// The post list, the post whose file made progress or changed state (its id), or the
// post whose stage changed (its record).
void cDlgPost::update(unsigned code, void* data) {
    if (code == updPostList)
        changes.push({kPostList, nullptr});
    else if ((code == updFileProgress || code == updFileState) && data)
        changes.push({static_cast<tfile*>(data)->filePID, nullptr});
    else if (code == updPostStage && data)
        changes.push({0, static_cast<const tpost*>(data)});
}

void cDlgPost::apply(std::vector<tchange>& batch) {
    if (std::any_of(batch.begin(), batch.end(), [](const tchange& change) {
            return !change.record && change.pid == kPostList;
        })) {
        refill(); // redraws every row
        return;
    }
    // A burst repeats the same few posts: each is looked up once.
    std::set<std::pair<const tpost*, int>> distinct;
    for (const tchange& change : batch)
        distinct.insert({change.record, change.pid});
    for (const auto& [record, pid] : distinct)
        if (int row = rowOf({pid, record}); row >= 0) list->redrawCell(row, kProgressColumn);
}

// -1 when the post is not shown (a record removed meanwhile matches no row).
int cDlgPost::rowOf(const tchange& change) const {
    for (size_t row = 0; row < ids.size(); ++row)
        if (change.record ? queue->qpost(ids[row]) == change.record : ids[row] == change.pid)
            return (int)row;
    return -1;
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
    tpost* post = queue->qpost(pid);
    if (item.iSubItem == kProgressColumn) {
        if (post && post->ppStage != ppNone) {
            stageCell(*post, item);
            return;
        }
        const tprogress progress = postProgress(queue, pid);
        if (item.mask & LVIF_PROGRESS) item.iProgress = progress.share(PROGRESS_FULL);
        if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0)
            snprintf(item.pszText, (size_t)item.cchTextMax, "%s", progressText(progress).c_str());
        return;
    }
    if (!post || !(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return;
    snprintf(item.pszText, (size_t)item.cchTextMax, "%s", post->postDesc);
}

// After the download the bar follows the stage's own percent; a finished post, done or
// failed, shows a full bar, a failed one in the error colour.
void cDlgPost::stageCell(const tpost& post, LVITEM& item) {
    const bool finished = post.ppStage == ppDone || post.ppStage == ppFailed;
    if (item.mask & LVIF_PROGRESS)
        item.iProgress =
            finished ? PROGRESS_FULL : std::clamp(post.ppPercent, 0, 100) * (PROGRESS_FULL / 100);
    if (item.mask & LVIF_FAILED) item.bFailed = post.ppStage == ppFailed;
    if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0)
        snprintf(item.pszText, (size_t)item.cchTextMax, "%s", postStageText(post).c_str());
}

std::string cDlgPost::selectedFolder() const {
    const int row = list ? list->firstSelected() : -1;
    if (!queue || row < 0 || row >= (int)ids.size()) return "";
    const tpost* post = queue->qpost(ids[row]);
    if (!post || !post->ppFolder[0]) return "";
    const std::string folder(post->ppFolder, strnlen(post->ppFolder, sizeof post->ppFolder));
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? folder : "";
}

void cDlgPost::openFolder() {
    const std::string folder = selectedFolder();
    if (folder.empty())
        printf("open folder: the post has no folder (yet)\n");
    else
        openWithDesktop(folder);
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
        showPostsMenu(getrootWindow(handle()), QCursor::pos(), !selectedFolder().empty());
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
