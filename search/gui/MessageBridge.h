// Turns Qt events of dialogs and controls into the framework's messages (see CWnd.h for
// which event becomes which message).
#pragma once

class QWidget;

// Window events of a dialog: size, close, context menu, mouse, Enter and Escape.
void translateDialogEvents(QWidget* dialog);
// Focus changes and the opening of a drop-down list of a bound control.
void translateControlEvents(QWidget* control);
