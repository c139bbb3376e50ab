#include "mainCommands.h"

const char* loadString(int id) {
    switch (id) {
    case 128:
        return "Brindle";
    case 129:
        return "About Brindle";
    case IDM_EXIT:
        return "Quit the application";
    case IDM_CONFIG:
        return "Configure the application";
    case IDM_HISTORY:
        return "Show application history (todo)";
    case IDM_ABOUT:
        return "Display program information, version number and copyright";
    case IDM_QUEUE:
        return "Enable/ Disable the Queue, for pausing the downoads";
    case IDM_PRIORITY:
        return "Enable/ Disable Priority downloading";
    case IDM_DECODER:
        return "Enable/ Disable the Decoder";
    case IDM_IMPORT:
        return "Import NZB-file";
    case IDM_CLEARTEMP:
        return "Clear temp directory (todo)";
    default:
        return "";
    }
}
