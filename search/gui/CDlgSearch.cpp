#include "CDlgSearch.h"

#include "CMiravel.h"
#include "ListFile.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

// Template 104, in pixels: two rows in a strip 45 pixels high.
const int kTopRow = 22;
const int kRowTop = 1;
const int kSecondRowTop = 24;
const int kTabTop = 25;
const int kTabHeight = 20;
const int kUpdateLabelWidth = 60;
const int kUpdateLabelGap = 10;
const int kRightMargin = 5;
// Nothing of this system stands at the right end of the top row.
const int kReservedRight = 0;
const int kSavedTextChars = 127;
const char SORTED_PROPERTY[] = "sortedList";

QComboBox* addBox(QWidget* dialog, int id, QRect place, bool sorted) {
    auto* box = new QComboBox(dialog);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setGeometry(place);
    box->setProperty(SORTED_PROPERTY, sorted);
    CWnd::bindControl(box, id);
    return box;
}

QLabel* addLabel(QWidget* dialog, int id, const char* text, QRect place) {
    auto* label = new QLabel(QString::fromUtf8(text), dialog);
    label->setGeometry(place);
    CWnd::bindControl(label, id);
    return label;
}

bool caseFreeLess(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

} // namespace

CDlgSearch::CDlgSearch(CMiravel& miravel) : miravel(miravel), relay(std::make_unique<QObject>()) {}

CDlgSearch::~CDlgSearch() = default;

void CDlgSearch::buildTemplate(QWidget* dialog, int) {
    addLabel(dialog, IDC_LABEL, "Search:", QRect(4, kRowTop + 3, 64, 16));
    addBox(dialog, IDC_KEYWORD, QRect(70, kRowTop, 210, kTopRow - 1), true);
    addBox(dialog, IDC_NEWSGROUP, QRect(288, kRowTop, 180, kTopRow - 1), true);
    addBox(dialog, IDC_AGE, QRect(474, kRowTop, 64, kTopRow - 1), false);
    addBox(dialog, IDC_SIZE, QRect(544, kRowTop, 96, kTopRow - 1), false);
    auto* search = new QPushButton("Search", dialog);
    search->setDefault(true);
    search->setGeometry(646, kRowTop, 72, kTopRow - 1);
    bindControl(search, IDC_SEARCH);
    addLabel(dialog, IDC_LABEL, "Watchlist:", QRect(4, kSecondRowTop + 3, 64, 16));
    addBox(dialog, IDC_WATCHLIST, QRect(70, kSecondRowTop, 210, kTabHeight), true);
    QLabel* update = addLabel(dialog, IDC_UPDATE, "Update available...",
                              QRect(0, kTopRow + 1, kUpdateLabelWidth, 16));
    update->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette red = update->palette();
    red.setColor(QPalette::WindowText, QColor(240, 0, 0));
    update->setPalette(red);
    update->hide();
}

intptr_t CDlgSearch::WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                                   intptr_t lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnCmdInitDialog(window);
    case WM_COMMAND:
        return OnCmdCommand(wparam, lparam);
    case WM_SIZE:
        OnCmdSize(wparam, loWord(lparam));
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(loShort(lparam), hiShort(lparam));
        return 0;
    default:
        return 0;
    }
}

intptr_t CDlgSearch::OnCmdInitDialog(QWidget* window) {
    refreshlist();
    CreateEgnineTabs(window);
    return 1;
}

void CDlgSearch::refreshlist() {
    static const struct {
        int id;
        const char* list;
    } boxes[] = {{IDC_WATCHLIST, "watchlist"},
                 {IDC_KEYWORD, "keyword"},
                 {IDC_NEWSGROUP, "newsgroup"},
                 {IDC_AGE, "age"},
                 {IDC_SIZE, "size"}};
    for (const auto& box : boxes)
        CBO_ReadCache(item(box.id), LISTFILE, box.list);
}

void CDlgSearch::CBO_ReadCache(QWidget* box, const char* format, const char* list) {
    auto* combo = qobject_cast<QComboBox*>(box);
    if (!combo || !format || !list) return;
    std::string path = format;
    if (size_t at = path.find("%s"); at != std::string::npos) path.replace(at, 2, list);

    const QString typed = combo->currentText().left(kSavedTextChars);
    combo->clear();
    combo->setEditText(QString());
    const auto entries = readListFile(path);
    if (!entries) return;
    QStringList texts;
    for (const std::string& entry : *entries)
        texts << QString::fromUtf8(entry.data(), (qsizetype)entry.size());
    if (combo->property(SORTED_PROPERTY).toBool())
        std::stable_sort(texts.begin(), texts.end(), caseFreeLess);
    combo->addItems(texts);
    // Filled, not chosen: no entry is selected and the edit field shows what was typed.
    combo->setCurrentIndex(-1);
    combo->setEditText(typed);
}

void CDlgSearch::CreateEgnineTabs(QWidget* window) {
    const QWidget* newsgroup = item(IDC_NEWSGROUP);
    int left = newsgroup ? newsgroup->geometry().left() : 0;
    const QFontMetrics metrics(window->font());
    for (int position = 0; position < MAXTABS; ++position) {
        const char* name = miravel.enginename(position);
        if (!name || !*name) continue;
        const QString text = QString::fromUtf8(name);
        // The text's extent plus the button's own margins, so the name is never clipped.
        const int width = metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth();
        auto* tab = new QPushButton(text, window);
        tab->setCheckable(true);
        tab->setAutoExclusive(true);
        tab->setFocusPolicy(Qt::StrongFocus);
        tab->setGeometry(left, kTabTop, width, kTabHeight);
        tab->setFont(window->font());
        bindControl(tab, IDC_FIRSTTAB + position);
        if (position == 0) tab->setChecked(true);
        tab->show();
        left += width;
    }
}

intptr_t CDlgSearch::OnCmdCommand(uintptr_t wparam, intptr_t lparam) {
    const int code = hiWord(wparam);
    const int id = loWord(wparam);
    QWidget* main = handle() ? dialogOf(handle()) : nullptr;
    auto forward = [main](int code, int id, intptr_t lparam) {
        if (main) sendCommand(main, id, code, lparam);
    };
    const bool enteredBox = id == IDC_KEYWORD || id == IDC_WATCHLIST;
    switch (code) {
    case BN_CLICKED:
        if (id >= IDC_FIRSTTAB && id < IDC_FIRSTTAB + MAXTABS)
            forward(BN_CLICKED, IDC_FIRSTTAB, id);
        else
            forward(code, id, lparam);
        return 1;
    case CBN_SELCHANGE:
    case CBN_EDITCHANGE:
        forward(code, id, lparam);
        return 0;
    case CBN_SETFOCUS:
    case CBN_EDITUPDATE:
        forward(enteredBox ? CBN_EDITCHANGE : code, id, lparam);
        return 0;
    case CBN_KILLFOCUS:
    case CBN_DROPDOWN:
        forward(code, id, lparam);
        return 1;
    default: // double clicks and unknown codes stay here
        return 0;
    }
}

void CDlgSearch::OnCmdSize(uintptr_t kind, int width) {
    if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
    QWidget* update = item(IDC_UPDATE);
    const QWidget* search = item(IDC_SEARCH);
    if (!update || !search) return;
    const int labelWidth =
        std::max(kUpdateLabelWidth,
                 update->fontMetrics().horizontalAdvance(static_cast<QLabel*>(update)->text()));
    // Right-aligned at the end of the top row; a notice wider than the designed 60
    // pixels grows to the left.
    const int right = std::max(search->geometry().right() + 1 + kUpdateLabelGap,
                               width - kRightMargin - kReservedRight);
    update->setGeometry(right - labelWidth, kTopRow + 1, labelWidth, update->height());
}

void CDlgSearch::setUpdateAvailable(int available) {
    updateFlag = available;
    QMetaObject::invokeMethod(
        relay.get(), [this] { showUpdateNotice(); }, Qt::QueuedConnection);
}

void CDlgSearch::showUpdateNotice() {
    QWidget* update = item(IDC_UPDATE);
    if (!update) return;
    update->setCursor(updateClickable() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update->show();
}

void CDlgSearch::setUpdateOpener(std::function<void()> opener) {
    updateOpener = std::move(opener);
}

bool CDlgSearch::updateClickable() const {
    return updateFlag && updateOpener;
}

void CDlgSearch::OnLButtonUp(int x, int y) {
    const QWidget* update = item(IDC_UPDATE);
    if (!update || !update->isVisible() || !updateClickable()) return;
    if (update->geometry().contains(x, y)) updateOpener();
}
