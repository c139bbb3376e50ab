#include "CDlgAbout.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace {

const char TITLE[] = "About Miravel";
const char VERSION[] = "0.3.2";

} // namespace

CDlgAbout::CDlgAbout(const WebAddresses& web, std::function<void(const std::string&)> open)
    : web(web), open(std::move(open)) {}

QWidget* CDlgAbout::Create(QWidget* parent, int templateId) {
    if (handle()) return handle();
    QDialog dialog(parent);
    prepareDialog(&dialog);
    buildTemplate(&dialog, templateId);
    setHandle(&dialog);
    sendMessage(&dialog, WM_INITDIALOG, 0, reinterpret_cast<intptr_t>(this));
    dialog.exec();
    return nullptr;
}

void CDlgAbout::buildTemplate(QWidget* dialog, int) {
    dialog->setWindowTitle(TITLE);
    dialog->setFixedSize(240, 150);
    auto* version = new QLabel(VERSION, dialog);
    version->setGeometry(20, 15, 200, 20);
    bindControl(version, IDC_VERSION);
    addLink(dialog, IDC_HOMEPAGE, "Homepage", web.homepage, 40);
    addLink(dialog, IDC_CONTACT, "Contact", web.contact, 62);
    addLink(dialog, IDC_HOWTO, "Howto", web.howto, 84);
    auto* close = new QPushButton("Close", dialog);
    close->setGeometry(150, 112, 75, 25);
    close->setDefault(true);
    bindControl(close, IDC_CLOSE);
}

// A configured link is blue text on a transparent background with the hand cursor; an
// unconfigured one is plain text that does nothing.
void CDlgAbout::addLink(QWidget* dialog, int id, const char* text, const std::string& address,
                        int top) {
    auto* link = new QLabel(dialog);
    link->setGeometry(20, top, 200, 20);
    link->setAttribute(Qt::WA_TranslucentBackground);
    if (address.empty()) {
        link->setTextFormat(Qt::PlainText);
        link->setTextInteractionFlags(Qt::NoTextInteraction);
        link->setText(text);
    } else {
        link->setText(QString("<a href=\"%1\" style=\"color: blue\">%2</a>")
                          .arg(QString::fromUtf8(address.c_str()).toHtmlEscaped(), text));
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        link->setCursor(Qt::PointingHandCursor);
        QObject::connect(link, &QLabel::linkActivated, link, [this, address] { open(address); });
    }
    bindControl(link, id);
}

intptr_t CDlgAbout::WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam, intptr_t) {
    if (message == WM_COMMAND && (loWord(wparam) == IDC_CLOSE || loWord(wparam) == IDCANCEL)) {
        if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->done(0);
        return 1;
    }
    return 0;
}
