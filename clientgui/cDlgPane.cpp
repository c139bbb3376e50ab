#include "cDlgPane.h"

#include <QItemSelectionModel>

#include <algorithm>

int cDlgPane::createPane(HWND parentWindow, int dialogTemplate) {
    if (handle()) return 6;
    parent = parentWindow;
    auto* dialog = new QWidget(parentWindow);
    buildTemplate(dialog);
    takeOver(dialog, dialogTemplate);
    sendMessage(dialog, WM_INITDIALOG, 0, 0);
    return 0;
}

std::vector<int> cDlgPane::selectedIds(const std::vector<int>& ids) const {
    std::vector<int> selected;
    if (!list) return selected;
    for (int row : list->selectedRows())
        if (row >= 0 && row < (int)ids.size()) selected.push_back(ids[row]);
    return selected;
}

void cDlgPane::reselect(const std::vector<int>& ids, const std::vector<int>& wanted) {
    if (!list) return;
    QItemSelection selection;
    for (size_t row = 0; row < ids.size(); ++row) {
        if (std::find(wanted.begin(), wanted.end(), ids[row]) == wanted.end()) continue;
        QModelIndex index = list->model()->index((int)row, 0);
        selection.select(index, index);
    }
    list->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
