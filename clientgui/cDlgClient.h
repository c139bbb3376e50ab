// The server pane: one row per server connection worker with its host, speed, delay
// and activity. The rows are real; they follow the workers' notifications and are
// rebuilt when a configuration change replaces the workers.
#pragma once
#include "cDlgPane.h"
#include "updateQueue.h"

#include <mutex>
#include <string>

constexpr int IDD_CLIENTS = 104;

class cDlgClient : public cDlgPane {
  public:
    cDlgClient();
    ~cDlgClient() override;

    // Attaches to the model and its workers, or detaches from all of them with null.
    void setmodel(NNTPmodel_iface* model);
    // Engine threads.
    void update(unsigned code, void* data) override;

    void on_WM_INITDIALOG(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_NOTIFY(HWND hwnd, uintptr_t wParam, intptr_t lParam);
    void on_WM_SIZE(HWND hwnd, uintptr_t wParam, intptr_t lParam);

  private:
    // A worker's notification with the values read on the notifying thread: workers may
    // be destroyed before the UI thread gets to it.
    struct tchange {
        explicit tchange(unsigned code) : code(code) {}
        unsigned code;
        int row = 0;
        int state = 0;
        int speed = 0;
        int delay = 0;
        bool hasInfo = false;
        std::string info;         // the article; with updClientState the connect failure
        std::vector<std::string> hosts; // updServersLoaded: one per worker
    };

    void HandleManager();
    void buildTemplate(QWidget* dialog) override;
    void serversLoaded();
    void serversUnloaded();
    static tchange stateOf(NNTPmodel_iface* worker);
    static tchange infoOf(NNTPmodel_iface* worker);
    void apply(std::vector<tchange>& batch);
    void iconClicked(const NMITEMACTIVATE& click);

    NNTPmodel_iface* model = nullptr;
    // The workers this pane observes; engine threads change it on configuration changes.
    std::mutex workersLock;
    std::vector<NNTPmodel_iface*> workers;
    // UI thread: the last state shown in each row.
    std::vector<int> rowStates;
    cUpdateQueue<tchange> changes;
};
