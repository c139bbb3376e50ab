// The window framework with real widgets on the offscreen platform: creation, the shared
// dialog procedure, event and signal translation, control lookup, texts, menus.
#include "CWnd.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Message {
    unsigned message;
    uintptr_t wparam;
    intptr_t lparam;
};

// A dialog with one control of each kind the framework knows, a nested dialog holding a
// control whose id repeats one of its own, and a control inside a plain container.
class Probe : public CWnd {
  public:
    static constexpr int BUTTON = 1020, COMBO = 1014, EDIT = 1113, LABEL = 1002, INNER = 1030,
                         STATUS = 1001;

    intptr_t WndProcCustom(QWidget*, unsigned message, uintptr_t wparam, intptr_t lparam) override {
        messages.push_back({message, wparam, lparam});
        return message == WM_CLOSE ? keepOpen : answer;
    }

    std::vector<Message> of(unsigned message) const {
        std::vector<Message> found;
        for (const Message& m : messages)
            if (m.message == message) found.push_back(m);
        return found;
    }
    std::vector<std::pair<int, int>> commands() const {
        std::vector<std::pair<int, int>> found;
        for (const Message& m : of(WM_COMMAND))
            found.emplace_back(hiWord(m.wparam), loWord(m.wparam));
        return found;
    }

    std::vector<Message> messages;
    intptr_t answer = 0;
    intptr_t keepOpen = 0;
    QWidget* nested = nullptr;

  protected:
    void buildTemplate(QWidget* dialog, int) override {
        dialog->resize(400, 300);
        auto* button = new QPushButton("Search", dialog);
        button->setGeometry(10, 10, 80, 25);
        bindControl(button, BUTTON);
        auto* combo = new QComboBox(dialog);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems({"alpha", "beta", "gamma"});
        combo->setGeometry(100, 10, 150, 25);
        bindControl(combo, COMBO);
        auto* edit = new QLineEdit(dialog);
        edit->setGeometry(10, 50, 150, 25);
        bindControl(edit, EDIT);
        auto* label = new QLabel("Search:", dialog);
        label->setGeometry(10, 90, 80, 20);
        bindControl(label, LABEL);
        auto* container = new QWidget(dialog);
        auto* bar = new QStatusBar(container);
        bar->addWidget(new QLabel(bar));
        bindControl(bar, STATUS);
        nested = new QWidget(dialog);
        prepareDialog(nested);
        auto* inner = new QLabel("inner", nested);
        bindControl(inner, INNER);
        auto* twin = new QLabel("twin", nested);
        bindControl(twin, LABEL);
    }
};

template <typename T> T* control(const CWnd& wnd, int id) {
    return qobject_cast<T*>(wnd.item(id));
}

class Framework : public ::testing::Test {
  protected:
    void SetUp() override {
        window = probe.Create(nullptr, 104);
        ASSERT_NE(window, nullptr);
        window->show();
        probe.messages.clear();
    }
    Probe probe;
    QWidget* window = nullptr;
};

TEST_F(Framework, ASecondCreateReturnsTheWindowAndBuildsNothing) {
    Probe fresh;
    QWidget* first = fresh.Create(nullptr, 104);
    ASSERT_NE(first, nullptr);
    const auto widgets = QApplication::allWidgets().size();
    EXPECT_EQ(fresh.Create(nullptr, 105), first);
    EXPECT_EQ(fresh.templateId(), 104);
    EXPECT_EQ(QApplication::allWidgets().size(), widgets);
    EXPECT_EQ(fresh.of(WM_INITDIALOG).size(), 1u);
    EXPECT_EQ(CWnd::attached(first), &fresh);
}

TEST_F(Framework, AWindowWithoutObjectAnswersNothing) {
    QWidget bare;
    EXPECT_EQ(CWnd::WndProcStatic(&bare, WM_COMMAND, makeCommand(0, 1020), 0), 0);
    EXPECT_EQ(CWnd::WndProcStatic(nullptr, WM_SIZE, 0, 0), 0);
    EXPECT_EQ(CWnd::attached(&bare), nullptr);

    // A modal dialog hands its object over with WM_INITDIALOG.
    probe.answer = 7;
    EXPECT_EQ(CWnd::WndProcStatic(&bare, WM_INITDIALOG, 0, reinterpret_cast<intptr_t>(&probe)), 7);
    EXPECT_EQ(CWnd::attached(&bare), &probe);
    EXPECT_EQ(CWnd::WndProcStatic(&bare, WM_COMMAND, makeCommand(0, 1020), 0), 7);
}

TEST_F(Framework, AnObjectGoneTakesItsWindowAlong) {
    QPointer<QWidget> own;
    {
        Probe shortLived;
        own = shortLived.Create(nullptr, 104);
        ASSERT_TRUE(own);
    }
    EXPECT_TRUE(own.isNull());
}

TEST_F(Framework, ControlsNotifyTheirDialogWithCodeAndId) {
    QApplication::setActiveWindow(window);
    auto* combo = control<QComboBox>(probe, Probe::COMBO);
    auto* edit = control<QLineEdit>(probe, Probe::EDIT);
    QTest::mouseClick(control<QPushButton>(probe, Probe::BUTTON), Qt::LeftButton);
    combo->setFocus();
    QTest::keyClicks(combo->lineEdit(), "ab");
    QTest::keyClick(combo, Qt::Key_Down);
    edit->setFocus();
    QTest::keyClicks(edit, "x");
    combo->setFocus();
    combo->showPopup();
    combo->hidePopup();

    const std::vector<std::pair<int, int>> expected = {
        {BN_CLICKED, Probe::BUTTON},    {CBN_SETFOCUS, Probe::COMBO},
        {CBN_EDITCHANGE, Probe::COMBO}, {CBN_EDITCHANGE, Probe::COMBO},
        {CBN_SELCHANGE, Probe::COMBO},  {CBN_KILLFOCUS, Probe::COMBO},
        {EN_SETFOCUS, Probe::EDIT},     {EN_CHANGE, Probe::EDIT},
        {EN_KILLFOCUS, Probe::EDIT},    {CBN_SETFOCUS, Probe::COMBO},
        {CBN_DROPDOWN, Probe::COMBO}};
    // Whether the open list takes the focus depends on the platform; what comes after its
    // opening is not looked at.
    auto commands = probe.commands();
    if (commands.size() > expected.size()) commands.resize(expected.size());
    EXPECT_EQ(commands, expected);
    EXPECT_EQ(probe.of(WM_COMMAND).front().lparam,
              reinterpret_cast<intptr_t>(probe.item(Probe::BUTTON)));
}

TEST_F(Framework, TextSetByTheProgramNotifiesNobody) {
    probe.setText(Probe::COMBO, "typed");
    probe.setText(Probe::EDIT, "typed");
    EXPECT_TRUE(probe.of(WM_COMMAND).empty());
}

TEST_F(Framework, EnterAndEscapeBecomeTheDialogCommands) {
    auto* combo = control<QComboBox>(probe, Probe::COMBO);
    QTest::keyClick(combo, Qt::Key_Return);
    QTest::keyClick(control<QLineEdit>(probe, Probe::EDIT), Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(combo, Qt::Key_Escape);
    const std::vector<std::pair<int, int>> expected = {
        {BN_CLICKED, IDOK}, {BN_CLICKED, IDOK}, {BN_CLICKED, IDCANCEL}};
    EXPECT_EQ(probe.commands(), expected);
    EXPECT_EQ(combo->count(), 3); // nothing inserted into the list
}

TEST_F(Framework, WindowEventsBecomeMessages) {
    window->resize(321, 123);
    QApplication::processEvents();
    ASSERT_FALSE(probe.of(WM_SIZE).empty());
    const Message size = probe.of(WM_SIZE).back();
    EXPECT_EQ(size.wparam, SIZE_RESTORED);
    EXPECT_EQ(loWord(size.lparam), 321);
    EXPECT_EQ(hiWord(size.lparam), 123);

    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(200, 250));
    ASSERT_EQ(probe.of(WM_LBUTTONUP).size(), 1u);
    EXPECT_EQ(loShort(probe.of(WM_LBUTTONUP)[0].lparam), 200);
    EXPECT_EQ(hiShort(probe.of(WM_LBUTTONUP)[0].lparam), 250);

    QWidget* label = probe.item(Probe::LABEL);
    const QPoint inLabel = label->geometry().center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, inLabel, window->mapToGlobal(inLabel));
    QApplication::sendEvent(window, &menu);
    ASSERT_EQ(probe.of(WM_CONTEXTMENU).size(), 1u);
    EXPECT_EQ(probe.of(WM_CONTEXTMENU)[0].wparam, reinterpret_cast<uintptr_t>(label));
    EXPECT_EQ(loShort(probe.of(WM_CONTEXTMENU)[0].lparam), window->mapToGlobal(inLabel).x());
}

TEST_F(Framework, CloseIsTheObjectsDecision) {
    probe.keepOpen = 1;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(probe.of(WM_CLOSE).size(), 1u);
    probe.keepOpen = 0;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Framework, ControlsAreFoundByIdButNotInsideNestedDialogs) {
    EXPECT_NE(probe.item(Probe::STATUS), nullptr); // inside a plain container
    EXPECT_EQ(probe.item(Probe::INNER), nullptr);
    EXPECT_EQ(CWnd::textOf(probe.item(Probe::LABEL)), "Search:");
    EXPECT_EQ(CWnd::textOf(CWnd::item(probe.nested, Probe::LABEL)), "twin");
    EXPECT_EQ(probe.item(4711), nullptr);
    EXPECT_EQ(CWnd::dialogOf(CWnd::item(probe.nested, Probe::INNER)), probe.nested);
    EXPECT_EQ(CWnd::controlId(probe.item(Probe::EDIT)), Probe::EDIT);
}

TEST_F(Framework, TextsAreCutToTheBufferAndKeepTheirCharacters) {
    const char latin1[] = "caf\u00e9 \u00bd \u65e5";
    struct Case {
        int id;
        const char* text;
        bool settable;
    };
    for (const Case c : {Case{Probe::COMBO, latin1, true}, Case{Probe::EDIT, latin1, true},
                         Case{Probe::LABEL, latin1, true}, Case{Probe::BUTTON, latin1, true},
                         Case{Probe::STATUS, latin1, true}, Case{4711, latin1, false}}) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(probe.setText(c.id, c.text), c.settable);
        EXPECT_EQ(probe.getText(c.id), c.settable ? c.text : "");
        char small[4] = "xyz";
        EXPECT_EQ(probe.getText(c.id, small, sizeof small), c.settable ? 3 : 0);
        EXPECT_STREQ(small, c.settable ? "caf" : "");
        char half[5] = "wxyz"; // room for half the "\u00e9" only: it is left out whole
        EXPECT_EQ(probe.getText(c.id, half, sizeof half), c.settable ? 3 : 0);
        EXPECT_STREQ(half, c.settable ? "caf" : "");
    }
    char untouched[2] = "q";
    EXPECT_EQ(probe.getText(Probe::EDIT, untouched, 0), 0);
    EXPECT_STREQ(untouched, "q");
}

TEST_F(Framework, TheSelectedEntryIsNotTheTypedText) {
    auto* combo = control<QComboBox>(probe, Probe::COMBO);
    EXPECT_EQ(CWnd::selectedTextOf(combo), "alpha");
    combo->setEditText("typed");
    EXPECT_EQ(CWnd::selectedTextOf(combo), "alpha");
    EXPECT_EQ(CWnd::textOf(combo), "typed");
    combo->setCurrentIndex(-1);
    EXPECT_EQ(CWnd::selectedTextOf(combo), "");
}

TEST_F(Framework, MenuEntriesAndAcceleratorsCommandTheirWindow) {
    auto* bar = new QMenuBar(window);
    QMenu* results = bar->addMenu("&Results");
    QAction* action = CWnd::addCommand(results, window, "Download selected", 32781, "Ctrl+D");
    EXPECT_EQ(action->text(), "Download selected\tCtrl+D");
    EXPECT_EQ(CWnd::findMenu(window, "&Results"), results);
    EXPECT_EQ(CWnd::findMenu(window, "Results"), nullptr);
    action->trigger();

    CWnd::addAccelerator(window, QKeySequence(Qt::ALT | Qt::Key_X), 32775);
    QApplication::setActiveWindow(window);
    QTest::keyClick(probe.item(Probe::EDIT), Qt::Key_X, Qt::AltModifier);

    const std::vector<std::pair<int, int>> expected = {{BN_CLICKED, 32781}, {BN_CLICKED, 32775}};
    EXPECT_EQ(probe.commands(), expected);
}

TEST_F(Framework, PostedMessagesArriveLaterAndNotAfterTheWindow) {
    CWnd::postMessage(window, WM_COMMAND, makeCommand(0, 32780), 0);
    EXPECT_TRUE(probe.of(WM_COMMAND).empty());
    QApplication::processEvents();
    EXPECT_EQ(probe.commands(), (std::vector<std::pair<int, int>>{{0, 32780}}));

    auto doomed = std::make_unique<Probe>();
    QWidget* gone = doomed->Create(nullptr, 104);
    CWnd::postMessage(gone, WM_COMMAND, makeCommand(0, 32780), 0);
    doomed.reset();
    QApplication::processEvents(); // must not reach the destroyed object
    SUCCEED();
}

TEST(Library, ExportsRunloopForTheLauncher) {
    const std::string command = "nm -D --defined-only " CORV_BIN_DIR "/libtessaly.so";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string symbols;
    char line[512];
    while (fgets(line, sizeof line, out))
        symbols += line;
    pclose(out);
    EXPECT_NE(symbols.find(" T runloop\n"), std::string::npos);
}

} // namespace
