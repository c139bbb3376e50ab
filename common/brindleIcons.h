// The download client's images, drawn for it and compiled in (XPM), shared by the tray
// icon of corvane and the window library.
#pragma once
#include <QIcon>

namespace brindleIcons {

// The program's icon (tray, window, About box).
QIcon program();
// Toolbar image of button position 0 to 11 (separators included, their image unused).
QIcon toolbar(int position);
// File states 0 to 5: not queued, queued, downloading, waiting to decode, decoding,
// decoded.
QIcon fileState(int state);
// Server worker states 0 to 3: disabled, idle, active, stopping.
QIcon clientState(int state);

} // namespace brindleIcons
