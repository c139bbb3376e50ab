#include "cDlgFile.h"

#include "articleSchema.h"
#include "brindleIcons.h"
#include "contextMenus.h"
#include "sizeText.h"
#include "windowFunctions.h"

#include <QCursor>
#include <QLabel>

#include <cstdio>
#include <ctime>

namespace {

const char* const kColumns[] = {"Subject", "par2", "Size", "progress", nullptr};
const int kWidths[] = {500, 50, 75, 100};
// Fitted on a first start: the bar keeps room for its text.
const std::vector<int> kLeastWidths = {0, 0, 0, 110};
const int kProgressColumn = 3;

std::string dayOf(int date) {
    time_t seconds = date;
    struct tm day {};
    gmtime_r(&seconds, &day);
    char text[64] = {};
    strftime(text, sizeof text, "%d %b %Y", &day);
    return text;
}

} // namespace

cDlgFile::cDlgFile() : changes([this](std::vector<tchange>& batch) { apply(batch); }) {
    HandleManager();
}

cDlgFile::~cDlgFile() {
    setmodel(nullptr);
}

void cDlgFile::HandleManager() {
    AddHandler(WM_INITDIALOG, &cDlgFile::on_WM_INITDIALOG);
    AddHandler(WM_NOTIFY, &cDlgFile::on_WM_NOTIFY);
    AddHandler(WM_SIZE, &cDlgFile::on_WM_SIZE);
}

void cDlgFile::buildTemplate(QWidget* dialog) {
    auto* date = new QLabel(dialog);
    setControlId(date, IDC_FILEDATE);
    date->setGeometry(0, 0, 90, 20);
    date->setContentsMargins(4, 0, 4, 0);
    auto* subject = new QLabel(dialog);
    setControlId(subject, IDC_FILESUBJECT);
    subject->setContentsMargins(4, 0, 4, 0);
    new cListView(dialog, IDC_LIST, true, true);
}

void cDlgFile::on_WM_INITDIALOG(HWND hwnd, uintptr_t, intptr_t) {
    list = static_cast<cListView*>(GetDlgItem(hwnd, IDC_LIST));
    std::vector<QIcon> icons;
    for (int state = fsNotQueued; state <= fsDecodeFailed; ++state)
        icons.push_back(brindleIcons::fileState(state));
    list->setImages(std::move(icons));
    LVN_setheaders(list, kColumns, kWidths);
    list->setProgressColumn(kProgressColumn);
    LVN_restoreheaderwidth(list, "USERINTERFACE", "hdrfiles", CONFIG_INI, kLeastWidths);
}

void cDlgFile::on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam) {
    if (wParam != SIZE_RESTORED && wParam != SIZE_MAXIMIZED) return;
    int width = loWord(lParam);
    int height = hiWord(lParam);
    QWidget* date = GetDlgItem(hwnd, IDC_FILEDATE);
    int labelHeight = date->height();
    GetDlgItem(hwnd, IDC_FILESUBJECT)
        ->setGeometry(date->width(), 0, width - date->width(), labelHeight);
    list->setGeometry(0, labelHeight + 1, width, height - labelHeight - 1);
}

void cDlgFile::setmodel(NNTPmodel_iface* model) {
    if (model && !queue) {
        printf("attach fqueue ");
        queue = model->getqueue();
        decoder = model->getdecoder();
        if (queue) queue->attach(this);
        refill();
        if (decoder) decoder->attach(this);
    } else if (!model && queue) {
        printf("detach fqueue ");
        queue->detach(this);
        if (decoder) decoder->detach(this);
        changes.discard();
        queue = nullptr;
        decoder = nullptr;
    }
}

void cDlgFile::update(unsigned code, void* data) {
    switch (code) {
    case updFileProgress:
    case updFileState:
        if (auto* file = static_cast<tfile*>(data))
            changes.push({code, file->filePID, file->row});
        break;
    case updFileList:
        changes.push({code, 0, 0});
        break;
    default:
        break;
    }
}

void cDlgFile::apply(std::vector<tchange>& batch) {
    bool listChanged = false;
    for (const tchange& change : batch) {
        if (change.code == updFileList) {
            listChanged = true;
        } else if (!listChanged && change.pid == post) {
            if (change.code == updFileProgress)
                list->redrawCell(change.row, kProgressColumn);
            else
                list->redrawImage(change.row);
        }
    }
    // Reading the list again redraws every row, the changed ones included.
    if (listChanged) refill();
}

void cDlgFile::showPost(int pid) {
    changes.deliver(); // what is waiting belongs to the post shown so far
    post = pid;
    refill();
}

void cDlgFile::refill() {
    if (!list) return;
    std::vector<int> selected = selectedIds(ids);
    if (queue)
        queue->qfiles(&ids, post);
    else
        ids.clear();
    std::string date, subject;
    if (tfile* first = ids.empty() || !queue ? nullptr : queue->qfile(ids.front())) {
        date = dayOf(first->fileDate);
        subject = first->fileSubject;
    }
    static_cast<QLabel*>(GetDlgItem(handle(), IDC_FILEDATE))->setText(QString::fromStdString(date));
    static_cast<QLabel*>(GetDlgItem(handle(), IDC_FILESUBJECT))
        ->setText(QString::fromStdString(subject));
    list->setItemCount((int)ids.size());
    reselect(ids, selected);
}

void cDlgFile::cell(LVITEM& item) {
    if (!queue || item.iItem < 0 || item.iItem >= (int)ids.size()) return;
    tfile* file = queue->qfile(ids[item.iItem]);
    if (!file) return;
    if (item.mask & LVIF_IMAGE) item.iImage = file->fileState;
    // A decoded file's segments are deleted, and a reload finds none of them.
    const int fetched = file->fileState == fsDecoded ? file->segcount : (int)file->segd.size();
    if ((item.mask & LVIF_PROGRESS) && item.iSubItem == kProgressColumn)
        item.iProgress =
            file->segcount > 0 ? (int)((long long)fetched * PROGRESS_FULL / file->segcount) : 0;
    if (!(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return;
    size_t size = (size_t)item.cchTextMax;
    switch (item.iSubItem) {
    case 0:
        snprintf(item.pszText, size, "%s", file->fileName[0] ? file->fileName : file->fileSubject);
        break;
    case 1:
        if (file->parblocks) snprintf(item.pszText, size, "%d", file->parblocks);
        break;
    case 2:
        snprintf(item.pszText, size, "%s", sizeText(file->fileSize).c_str());
        break;
    case kProgressColumn:
        if (file->fileState == fsDecodeFailed)
            snprintf(item.pszText, size, "decode failed%s%s", file->fileError[0] ? ": " : "",
                     file->fileError);
        else
            snprintf(item.pszText, size, "%d/%d (%d)", fetched, file->segcount, file->segavail);
        break;
    default:
        break;
    }
}

// On the state icon: a file that is not queued is queued, a queued or downloading one
// leaves the queue; the other states are the decoder's.
void cDlgFile::iconClicked(const NMITEMACTIVATE& click) {
    if (click.ptAction.x() >= ICON_CLICK_WIDTH || !queue) return;
    int row = click.iItem >= 0 ? click.iItem : list->firstSelected();
    if (row < 0 || row >= (int)ids.size() || !list->selectionModel()->isRowSelected(row))
        return;
    tfile* file = queue->qfile(ids[row]);
    if (!file) return;
    std::vector<int> one{ids[row]};
    if (file->fileState == fsNotQueued)
        queue->handleCommandT(cmdFileQueue, &one, nullptr);
    else if (file->fileState == fsQueued || file->fileState == fsDownloading)
        queue->handleCommandT(cmdFileUnqueue, &one, nullptr);
}

void cDlgFile::keyDown(int key) {
    if (key > 17) printf("keydown: %d \n", key);
    if (key == VK_SPACE)
        onKeyCommand(cmdFileQueue, 1);
    else if (key == VK_DELETE)
        onKeyCommand(cmdFileUnqueue, 1);
    else if (key >= '0' && key <= '9')
        onKeyCommand(cmdFilePrio + (key - '0'), 1);
    else if (key == 'D')
        onKeyCommand(cmdFileDecode, 1);
    else if (key == 'R')
        onKeyCommand(cmdFileRetry, 1);
}

void cDlgFile::on_WM_NOTIFY(HWND, uintptr_t, intptr_t lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    switch (header->code) {
    case LVN_GETDISPINFO:
        cell(reinterpret_cast<NMLVDISPINFO*>(lParam)->item);
        break;
    case NM_CLICK:
        iconClicked(*reinterpret_cast<NMITEMACTIVATE*>(lParam));
        break;
    case NM_RCLICK:
        showFilesMenu(getrootWindow(handle()), QCursor::pos());
        break;
    case LVN_KEYDOWN:
        keyDown(reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey);
        break;
    case HDN_ITEMCHANGED:
        LVN_saveheaderwidth(list, "USERINTERFACE", "hdrfiles", CONFIG_INI);
        break;
    default:
        break;
    }
}

void cDlgFile::onKeyCommand(int code, int selection) {
    if (!queue) return;
    std::vector<int> files;
    if (selection) {
        int first = list->firstSelected();
        if (first < 0 || first >= (int)ids.size()) return;
        files = selectedIds(ids);
    } else {
        files = ids;
    }
    if (files.empty()) return;
    queue->handleCommandT((unsigned)code, &files, nullptr);
}
