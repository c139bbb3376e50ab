#include "dlgServerCfg.h"
#include "windowFunctions.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A labelled edit in `row` of a group's grid, with `beside` (if any) to its right.
QLineEdit* addEdit(QGridLayout* grid, int row, const char* label, int id, int maxLength,
                   QWidget* beside = nullptr) {
    QWidget* group = grid->parentWidget();
    auto* caption = new QLabel(label, group);
    auto* edit = new QLineEdit(group);
    setControlId(edit, id);
    edit->setMaxLength(maxLength);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    auto* field = new QHBoxLayout;
    field->addWidget(edit);
    if (beside) field->addWidget(beside);
    grid->addLayout(field, row, 1);
    return edit;
}

} // namespace

dlgServerCfg::dlgServerCfg(serverEntry& entry)
    : cModalDialog(TEMPLATE_ID, "Server configuration"), entry(entry) {
    AddHandler(WM_INITDIALOG, &dlgServerCfg::on_WM_INITDIALOG);
    AddHandler(WM_COMMAND, &dlgServerCfg::on_WM_COMMAND);
}

void dlgServerCfg::buildControls(QDialog* dialog) {
    auto* layout = new QVBoxLayout(dialog);

    auto* server = new QGroupBox("Server information", dialog);
    auto* serverGrid = new QGridLayout(server);
    addEdit(serverGrid, 0, "Hostname:", IDC_HOSTNAME, sizeof entry.hostname - 1)
        ->setMinimumWidth(200);
    addEdit(serverGrid, 1, "Port:", IDC_PORT, 5)->setText(QString::number(NNTP_DEFAULT_PORT));
    serverGrid->addLayout(addTlsChecks(server), 2, 1);
    QLineEdit* connections =
        addEdit(serverGrid, 3, "Max connections:", IDC_MAXCONNECTION, 5, addSpinControl(server));
    // Typing a number moves the spin control along, so its arrows step from what is shown.
    QObject::connect(connections, &QLineEdit::textEdited, connections, [this](const QString& text) {
        bool ok = false;
        int typed = static_cast<int>(text.trimmed().toUInt(&ok));
        if (ok && typed >= 0) position = typed;
    });
    layout->addWidget(server);

    auto* authentication = new QGroupBox("Authentication [optional]", dialog);
    auto* authenticationGrid = new QGridLayout(authentication);
    addEdit(authenticationGrid, 0, "Username:", IDC_USERNAME, sizeof entry.username - 1);
    addEdit(authenticationGrid, 1, "Password:", IDC_PASSWORD, sizeof entry.password - 1)
        ->setEchoMode(QLineEdit::Password);
    layout->addWidget(authentication);

    // Both groups' labels take the widest one's width, so the edits line up.
    const int labelWidth = dialog->fontMetrics().horizontalAdvance("Max connections:");
    for (QGridLayout* grid : {serverGrid, authenticationGrid})
        grid->setColumnMinimumWidth(0, labelWidth);

    addButtonRow(layout, "Ok", "Cancel");
}

// Two arrow buttons, as a spin control beside its edit; they take no keyboard focus.
QWidget* dlgServerCfg::addSpinControl(QWidget* parentWidget) {
    auto* control = new QWidget(parentWidget);
    setControlId(control, IDC_SPIN);
    auto* arrows = new QVBoxLayout(control);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    for (Qt::ArrowType arrow : {Qt::UpArrow, Qt::DownArrow}) {
        auto* button = new QToolButton(control);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(18, 12);
        const int delta = arrow == Qt::UpArrow ? 1 : -1;
        QObject::connect(button, &QToolButton::clicked, button, [this, delta] { spin(delta); });
        arrows->addWidget(button);
    }
    return control;
}

QLayout* dlgServerCfg::addTlsChecks(QWidget* parentWidget) {
    auto* row = new QHBoxLayout;
    auto* tls = new QCheckBox("Encrypted (TLS)", parentWidget);
    setControlId(tls, IDC_SSL);
    auto* verify = new QCheckBox("verify certificate", parentWidget);
    setControlId(verify, IDC_SSLVERIFY);
    verify->setChecked(true);
    verify->setEnabled(false);
    QObject::connect(tls, &QCheckBox::toggled, tls, [this](bool on) { tlsToggled(on); });
    row->addWidget(tls);
    row->addWidget(verify);
    row->addStretch();
    return row;
}

void dlgServerCfg::tlsToggled(bool on) {
    checkBox(IDC_SSLVERIFY)->setEnabled(on);
    const QString from = QString::number(on ? NNTP_DEFAULT_PORT : NNTP_TLS_DEFAULT_PORT);
    const QString to = QString::number(on ? NNTP_TLS_DEFAULT_PORT : NNTP_DEFAULT_PORT);
    if (dlgItemText(IDC_PORT).trimmed() == from) setDlgItemText(IDC_PORT, to);
}

void dlgServerCfg::spin(int delta) {
    if (position + delta < 0) return;
    position += delta;
    setDlgItemText(IDC_MAXCONNECTION, QString::number(position));
}

void dlgServerCfg::on_WM_INITDIALOG(HWND hwnd, uintptr_t, intptr_t) {
    if (!entry.hostname[0]) entry.sslverify = 1; // a new server is verified
    if (entry.port == 0) entry.port = defaultPort(entry);
    if (entry.maxconnection == 0) entry.maxconnection = 1;
    setDlgItemText(IDC_HOSTNAME, QString::fromUtf8(entry.hostname));
    setDlgItemText(IDC_MAXCONNECTION, QString::number(entry.maxconnection));
    setDlgItemText(IDC_USERNAME, QString::fromUtf8(entry.username));
    setDlgItemText(IDC_PASSWORD, QString::fromUtf8(entry.password));
    // The port after the check box, whose ticking proposes a port: the stored one wins.
    checkBox(IDC_SSL)->setChecked(entry.ssl != 0);
    checkBox(IDC_SSLVERIFY)->setChecked(entry.sslverify != 0);
    setDlgItemText(IDC_PORT, QString::number(entry.port));
    position = entry.maxconnection;
    centerWindow(hwnd);
}

void dlgServerCfg::on_WM_COMMAND(HWND, uintptr_t wParam, intptr_t) {
    switch (loWord(wParam)) {
    case IDOK:
        getDlgItemText(IDC_HOSTNAME, entry.hostname);
        entry.port = static_cast<int>(dlgItemUInt(IDC_PORT));
        entry.maxconnection = static_cast<int>(dlgItemUInt(IDC_MAXCONNECTION));
        getDlgItemText(IDC_USERNAME, entry.username);
        getDlgItemText(IDC_PASSWORD, entry.password);
        entry.ssl = checkBox(IDC_SSL)->isChecked() ? 1 : 0;
        entry.sslverify = checkBox(IDC_SSLVERIFY)->isChecked() ? 1 : 0;
        endDialog(IDOK);
        break;
    case IDCANCEL:
        endDialog(IDCANCEL);
        break;
    }
}
