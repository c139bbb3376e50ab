#include "ListNotify.h"

#include "CWnd.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>

namespace {

intptr_t notifyDialog(QWidget* control, ListNotify& notify) {
    QWidget* dialog = CWnd::dialogOf(control);
    if (!dialog) return 0;
    notify.idFrom = CWnd::controlId(control);
    return CWnd::sendMessage(dialog, WM_NOTIFY, static_cast<uintptr_t>(notify.idFrom),
                             reinterpret_cast<intptr_t>(&notify));
}

class ListKeys : public QObject {
  public:
    explicit ListKeys(QTableView* list) : QObject(list), list(list) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != list || event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        ListNotify notify;
        notify.code = LVN_KEYDOWN;
        notify.key = key->key();
        notify.modifiers = static_cast<int>(key->modifiers());
        return notifyDialog(list, notify) != 0;
    }

  private:
    QTableView* list;
};

} // namespace

void translateListEvents(QTableView* list) {
    QHeaderView* header = list->horizontalHeader();
    QObject::connect(header, &QHeaderView::sectionClicked, list, [list](int section) {
        ListNotify notify;
        notify.code = HDN_ITEMCLICK;
        notify.item = section;
        notifyDialog(list, notify);
    });
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QHeaderView::customContextMenuRequested, list,
                     [list, header](const QPoint& at) {
                         ListNotify notify;
                         notify.code = NM_RCLICK;
                         notify.item = header->logicalIndexAt(at);
                         notifyDialog(list, notify);
                     });
    list->installEventFilter(new ListKeys(list));
}
