// A dialog built in code from one of the library's templates, driven through the
// window framework: the dialog is the object's window, WM_INITDIALOG is delivered once
// its controls exist, every push button sends WM_COMMAND (BN_CLICKED << 16 | its id), and
// Escape or the window's close send IDCANCEL. The dialog ends with the result handed to
// endDialog; nothing ends it by itself. An object shows its dialog once.
#pragma once
#include "cWnd.h"

#include <QString>

#include <cstddef>

class QBoxLayout;
class QCheckBox;
class QDialog;
class QPushButton;

class cModalDialog : public cWnd {
  public:
    // Builds the dialog, delivers WM_INITDIALOG and runs it modally; returns the result
    // it ended with (0 when the dialog was shown before).
    int run(HWND parent);
    // Builds the dialog, delivers WM_INITDIALOG and shows it without waiting, for a
    // caller that drives it itself. Null when the dialog exists already.
    HWND open(HWND parent);
    // Whether the dialog has ended, and with which result (0 while it runs).
    bool ended() const { return finished; }
    int result() const { return endResult; }

  protected:
    cModalDialog(int templateId, const char* title);

    // Creates the template's controls inside `dialog`, in tab order.
    virtual void buildControls(QDialog* dialog) = 0;

    void endDialog(int result);

    // A push button that sends WM_COMMAND with `id` to the dialog.
    QPushButton* addButton(QWidget* parent, int id, const char* text);
    // Ok and Cancel (or one Close) at the bottom right of `layout`.
    void addButtonRow(QBoxLayout* layout, const char* okText, const char* cancelText);

    QCheckBox* checkBox(int id) const;
    QString dlgItemText(int id) const;
    void setDlgItemText(int id, const QString& text);
    // The edit's text as an unsigned decimal number; 0 when it is not one.
    unsigned dlgItemUInt(int id) const;
    // The edit's text in UTF-8, cut at a character boundary to fit `field` with its
    // terminating zero.
    template <size_t N> void getDlgItemText(int id, char (&field)[N]) const {
        copyCut(field, N, dlgItemText(id));
    }

  private:
    QDialog* build(HWND parent);
    static void copyCut(char* field, size_t size, const QString& text);

    int dialogTemplate;
    const char* title;
    bool finished = false;
    int endResult = 0;
};
