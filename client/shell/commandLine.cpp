#include "NNTPsock.h"

std::string joinCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (size_t i = 0; i < arguments.size() && line.size() < MAX_MESSAGE; ++i) {
        line += arguments[i];
        line += ' ';
    }
    if (line.size() > MAX_MESSAGE) line.resize(MAX_MESSAGE);
    return line;
}
