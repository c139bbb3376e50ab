#include "brindleIcons.h"

namespace brindleIcons {

QIcon program() { return {}; }
QIcon toolbar(int) { return {}; }
QIcon fileState(int) { return {}; }
QIcon clientState(int) { return {}; }

} // namespace brindleIcons
