#include "NNTPsock.h"

std::string joinCommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc && line.size() < MAX_MESSAGE; ++i) {
        line += argv[i];
        line += ' ';
    }
    if (line.size() > MAX_MESSAGE) line.resize(MAX_MESSAGE);
    return line;
}
