#include "cDlgClient.h"

#include "articleSchema.h"
#include "brindleIcons.h"

#include <cstdio>

namespace {

const char* const kColumns[] = {"host", "KB/s", "delay", "activity", nullptr};
const int kWidths[] = {150, 40, 50, 500};
// Fitted on a first start, when the rows hold only host names and "0": the speed has
// room for five figures, the activity for article ids.
const std::vector<int> kLeastWidths = {0, 60, 0, 500};
const char* const kStateWords[] = {"disabled", "idle", "active", ""};

} // namespace

cDlgClient::cDlgClient() : changes([this](std::vector<tchange>& batch) { apply(batch); }) {
    HandleManager();
}

cDlgClient::~cDlgClient() {
    setmodel(nullptr);
}

void cDlgClient::HandleManager() {
    AddHandler(WM_INITDIALOG, &cDlgClient::on_WM_INITDIALOG);
    AddHandler(WM_NOTIFY, &cDlgClient::on_WM_NOTIFY);
    AddHandler(WM_SIZE, &cDlgClient::on_WM_SIZE);
}

void cDlgClient::buildTemplate(QWidget* dialog) {
    new cListView(dialog, IDC_LIST, false, false);
}

void cDlgClient::on_WM_INITDIALOG(HWND hwnd, uintptr_t, intptr_t) {
    list = static_cast<cListView*>(GetDlgItem(hwnd, IDC_LIST));
    std::vector<QIcon> icons;
    for (int state = csDisabled; state <= csStopping; ++state)
        icons.push_back(brindleIcons::clientState(state));
    list->setImages(std::move(icons));
    LVN_setheaders(list, kColumns, kWidths);
    LVN_restoreheaderwidth(list, "USERINTERFACE", "hdrclient", CONFIG_INI, kLeastWidths);
}

void cDlgClient::on_WM_SIZE(HWND, uintptr_t wParam, intptr_t lParam) {
    if (wParam != SIZE_RESTORED && wParam != SIZE_MAXIMIZED) return;
    list->setGeometry(1, 1, loWord(lParam) - 2, hiWord(lParam) - 2);
}

void cDlgClient::setmodel(NNTPmodel_iface* newModel) {
    if (newModel && !model) {
        printf("attach clients ");
        model = newModel;
        model->attach(this);
        serversLoaded();
        changes.deliver();
    } else if (!newModel && model) {
        printf("detach clients ");
        serversUnloaded();
        model->detach(this);
        changes.discard();
        if (list) list->deleteAllItems();
        rowStates.clear();
        model = nullptr;
    }
}

cDlgClient::tchange cDlgClient::stateOf(NNTPmodel_iface* worker) {
    tchange change(updClientState);
    change.row = worker->cindex();
    change.state = worker->cstate();
    // Why the server could not be reached, beside the idle state it caused.
    if (const char* failure = worker->cfailure()) change.info = failure;
    return change;
}

cDlgClient::tchange cDlgClient::infoOf(NNTPmodel_iface* worker) {
    tchange change(updClientInfo);
    change.row = worker->cindex();
    change.speed = worker->cspeed();
    change.delay = worker->cdelay();
    if (const char* info = worker->cinfo()) {
        change.hasInfo = true;
        change.info = info;
    }
    return change;
}

// Joins every worker the model has now and queues their rows.
void cDlgClient::serversLoaded() {
    std::lock_guard<std::mutex> guard(workersLock);
    for (NNTPmodel_iface* worker : workers) worker->detach(this);
    workers.clear();
    tchange rows(updServersLoaded);
    for (int i = 0; NNTPmodel_iface* worker = model->getclient(i); ++i) {
        worker->attach(this);
        workers.push_back(worker);
        const char* host = worker->chost();
        // A lock before the host of an encrypted connection.
        rows.hosts.push_back(std::string(worker->ctls() ? "\xF0\x9F\x94\x92 " : "") +
                             (host ? host : ""));
    }
    changes.push(std::move(rows));
    for (auto worker = workers.rbegin(); worker != workers.rend(); ++worker) {
        changes.push(stateOf(*worker));
        changes.push(infoOf(*worker));
    }
}

// Leaves every worker now, on the notifying thread: they are destroyed right after.
void cDlgClient::serversUnloaded() {
    std::lock_guard<std::mutex> guard(workersLock);
    for (NNTPmodel_iface* worker : workers) worker->detach(this);
    workers.clear();
    changes.push(tchange(updServersUnloaded));
}

void cDlgClient::update(unsigned code, void* data) {
    if (!data) return;
    auto* source = static_cast<NNTPmodel_iface*>(data);
    switch (code) {
    case updClientState:
        changes.push(stateOf(source));
        break;
    case updClientInfo:
        changes.push(infoOf(source));
        break;
    case updServersUnloaded:
        serversUnloaded();
        break;
    case updServersLoaded:
        serversLoaded();
        break;
    default:
        break;
    }
}

void cDlgClient::apply(std::vector<tchange>& batch) {
    if (!list) return;
    for (const tchange& change : batch) {
        switch (change.code) {
        case updServersUnloaded:
            list->deleteAllItems();
            rowStates.clear();
            break;
        case updServersLoaded:
            list->deleteAllItems();
            for (size_t i = 0; i < change.hosts.size(); ++i)
                list->insertItem((int)i, change.hosts[i].c_str());
            rowStates.assign(change.hosts.size(), csDisabled);
            break;
        case updClientState:
            if (change.row < 0 || change.row >= (int)rowStates.size()) break;
            rowStates[change.row] = change.state;
            if (change.state >= csDisabled && change.state <= csStopping) {
                std::string words = kStateWords[change.state];
                if (change.state == csIdle && !change.info.empty()) words += " - " + change.info;
                list->setItemText(change.row, 3, words.c_str());
            }
            list->setItemImage(change.row, change.state);
            break;
        case updClientInfo:
            if (change.row < 0 || change.row >= (int)rowStates.size()) break;
            list->setItemText(change.row, 1, std::to_string(change.speed).c_str());
            list->setItemText(change.row, 2, std::to_string(change.delay).c_str());
            if (change.hasInfo) list->setItemText(change.row, 3, change.info.c_str());
            break;
        default:
            break;
        }
    }
}

// On the state icon: a disabled worker is started, any other stopped.
void cDlgClient::iconClicked(const NMITEMACTIVATE& click) {
    if (click.ptAction.x() >= ICON_CLICK_WIDTH || !model) return;
    int row = list->firstSelected();
    if (row < 0 || row >= (int)rowStates.size()) return;
    int start = rowStates[row] < csIdle ? 1 : 0;
    uintptr_t argument = (uintptr_t)start * 65536 + (uintptr_t)(row % 256);
    _observable::sendCommand(model, cmdClientEnable, (void*)argument, nullptr);
}

void cDlgClient::on_WM_NOTIFY(HWND, uintptr_t, intptr_t lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    switch (header->code) {
    case NM_CLICK:
        iconClicked(*reinterpret_cast<NMITEMACTIVATE*>(lParam));
        break;
    case LVN_KEYDOWN:
        printf("keydown: %d", reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey);
        break;
    case HDN_ITEMCHANGED:
        LVN_saveheaderwidth(list, "USERINTERFACE", "hdrclient", CONFIG_INI);
        break;
    default:
        break;
    }
}
