#include "cModalDialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>

namespace {

// Escape and the window's close reach the dialog's object as IDCANCEL; only the
// object ends the dialog.
class templateDialog : public QDialog {
  public:
    explicit templateDialog(QWidget* parent) : QDialog(parent) {}
    void reject() override { sendCommand(this, IDCANCEL, BN_CLICKED); }
};

} // namespace

cModalDialog::cModalDialog(int templateId, const char* title)
    : dialogTemplate(templateId), title(title) {}

QDialog* cModalDialog::build(HWND parentWindow) {
    auto* dialog = new templateDialog(parentWindow);
    dialog->setWindowTitle(title);
    parent = parentWindow;
    takeOver(dialog, dialogTemplate);
    buildControls(dialog);
    dialog->adjustSize();
    sendMessage(dialog, WM_INITDIALOG, 0, 0);
    return dialog;
}

int cModalDialog::run(HWND parentWindow) {
    if (handle()) return 0;
    return build(parentWindow)->exec();
}

HWND cModalDialog::open(HWND parentWindow) {
    if (handle()) return nullptr;
    QDialog* dialog = build(parentWindow);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    return dialog;
}

void cModalDialog::endDialog(int result) {
    finished = true;
    endResult = result;
    if (auto* dialog = qobject_cast<QDialog*>(handle())) dialog->done(result);
}

QPushButton* cModalDialog::addButton(QWidget* parentWidget, int id, const char* text) {
    auto* button = new QPushButton(text, parentWidget);
    setControlId(button, id);
    QObject::connect(button, &QPushButton::clicked, button,
                     [this, id] { sendCommand(handle(), id, BN_CLICKED); });
    return button;
}

void cModalDialog::addButtonRow(QBoxLayout* layout, const char* okText, const char* cancelText) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton* ok = addButton(handle(), IDOK, okText);
    ok->setDefault(true);
    row->addWidget(ok);
    if (cancelText) row->addWidget(addButton(handle(), IDCANCEL, cancelText));
    layout->addLayout(row);
}

QCheckBox* cModalDialog::checkBox(int id) const {
    return qobject_cast<QCheckBox*>(GetDlgItem(handle(), id));
}

QString cModalDialog::dlgItemText(int id) const {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(handle(), id))) return edit->text();
    return {};
}

void cModalDialog::setDlgItemText(int id, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(handle(), id))) edit->setText(text);
}

unsigned cModalDialog::dlgItemUInt(int id) const {
    bool ok = false;
    unsigned value = dlgItemText(id).trimmed().toUInt(&ok);
    return ok ? value : 0;
}

void cModalDialog::copyCut(char* field, size_t size, const QString& text) {
    QString cut = text;
    QByteArray bytes = cut.toUtf8();
    while (static_cast<size_t>(bytes.size()) >= size) {
        cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
        bytes = cut.toUtf8();
    }
    memcpy(field, bytes.constData(), bytes.size());
    field[bytes.size()] = 0;
}
