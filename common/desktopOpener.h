// Opening a file, folder or web page with the program the desktop associates with it.
#pragma once
#include <string>

// Starts "xdg-open <target>" from PATH without waiting for it; the target reaches it as
// one argument exactly as given. Failures are only logged: neither the search window's
// "open" nor the post pane's "Open folder" has more to tell the user.
void openWithDesktop(const std::string& target);
