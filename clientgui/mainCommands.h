// Command ids of the main window's menu and toolbar, and the texts of its string table.
#pragma once

enum : int {
    IDM_EXIT = 32771,
    IDM_ABOUT = 32772,
    IDM_CONFIG = 32773,
    IDM_IMPORT = 32774,
    IDM_RESETDB = 32781,
    IDM_QUEUE = 32782,
    IDM_DECODER = 32783,
    IDM_PRIORITY = 32784,
    IDM_HISTORY = 32785,
    IDM_CLEARTEMP = 32787,
};

// The text of string resource `id` (tooltips by command id, 128 the product name, 129
// the About title); empty for an unknown id.
const char* loadString(int id);
