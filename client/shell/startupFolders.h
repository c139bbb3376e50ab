// The folders every start needs, checked in the program folder before anything else
// runs. A problem is logged on standard error and told in a message box.
#pragma once

// Creates the temporary and data folders and the database's schema script; a download
// folder that cannot be made is reset to ./temp. False when the program cannot run.
bool prepareFolders();
