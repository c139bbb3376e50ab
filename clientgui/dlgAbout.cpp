#include "dlgAbout.h"
#include "articleSchema.h"
#include "brindleIcons.h"
#include "profile.h"
#include "windowFunctions.h"

#include <QDesktopServices>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

const char PRODUCT_NAME[] = "Brindle";
const char ABOUT_TITLE[] = "About Brindle";
const char VERSION[] = "1.0.9";
const char DESCRIPTION[] =
    "This is the first implementation of the Brindle.\n It is developed for use with Miravel "
    "to support the actual downloading from Usenet.\n\nWith this client you are able to "
    "download from Usenet by importing NZB files.";

// The addresses are configuration chosen at installation: keys of DEFAULT in
// config.ini. A link without one is plain text.
struct linkTarget {
    int id;
    const char* text;
    const char* key;
};
const linkTarget LINKS[] = {
    {dlgAbout::IDC_HOMEPAGE, "Homepage", "homepage"},
    {dlgAbout::IDC_CONTACT, "Contact", "contact"},
    {dlgAbout::IDC_HOWTO, "Howto", "howto"},
};

// Blue text on the dialog's background with the hand cursor; a left click released over
// it counts.
class linkLabel : public QLabel {
  public:
    linkLabel(const char* text, QWidget* parent, std::function<void()> clicked)
        : QLabel(text, parent), clicked(std::move(clicked)) {
        QPalette colours = palette();
        colours.setColor(QPalette::WindowText, Qt::blue);
        setPalette(colours);
        setAutoFillBackground(false);
        setCursor(Qt::PointingHandCursor);
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            clicked();
    }

  private:
    std::function<void()> clicked;
};

} // namespace

dlgAbout::dlgAbout(t_opener opener)
    : cModalDialog(TEMPLATE_ID, ABOUT_TITLE), openLink(std::move(opener)) {
    if (!openLink) openLink = [](const QUrl& address) { QDesktopServices::openUrl(address); };
    AddHandler(WM_INITDIALOG, &dlgAbout::on_WM_INITDIALOG);
    AddHandler(WM_COMMAND, &dlgAbout::on_WM_COMMAND);
}

void dlgAbout::buildControls(QDialog* dialog) {
    auto* layout = new QVBoxLayout(dialog);
    auto* columns = new QHBoxLayout;
    auto* icon = new QLabel(dialog);
    icon->setPixmap(brindleIcons::program().pixmap(48, 48));
    columns->addWidget(icon, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    auto* version = new QLabel(dialog);
    setControlId(version, IDC_VERSION);
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    text->addWidget(version);
    auto* description = new QLabel(DESCRIPTION, dialog);
    description->setTextFormat(Qt::PlainText);
    description->setWordWrap(true);
    description->setFixedWidth(380);
    text->addWidget(description);
    auto* links = new QHBoxLayout;
    for (const linkTarget& link : LINKS) {
        const std::string configured = profile::getString("DEFAULT", link.key, "", CONFIG_INI);
        const QUrl address(QString::fromUtf8(configured.c_str()).trimmed());
        QLabel* label;
        if (address.isValid() && !address.isEmpty())
            label = new linkLabel(link.text, dialog, [this, address] { openLink(address); });
        else
            label = new QLabel(link.text, dialog);
        setControlId(label, link.id);
        links->addWidget(label);
    }
    links->addStretch(1);
    text->addLayout(links);
    columns->addLayout(text);
    layout->addLayout(columns);

    addButtonRow(layout, "Close", nullptr);
}

void dlgAbout::on_WM_INITDIALOG(HWND hwnd, uintptr_t, intptr_t) {
    profile::writeString("DEFAULT", "showabout", "0", CONFIG_INI);
    if (auto* version = qobject_cast<QLabel*>(GetDlgItem(hwnd, IDC_VERSION)))
        version->setText(QString("%1 v%2").arg(PRODUCT_NAME, VERSION));
    centerWindow(hwnd);
}

void dlgAbout::on_WM_COMMAND(HWND, uintptr_t wParam, intptr_t) {
    const int id = loWord(wParam);
    if (id == IDOK || id == IDCANCEL) endDialog(id);
}

int showAboutDialog(QWidget* parent) {
    return dlgAbout().run(parent);
}
