#include "cLineReader.h"

bool cLineReader::next(char* line, std::size_t size, std::size_t& length, bool& cut) {
    length = 0;
    cut = false;
    int c;
    while ((c = getc_unlocked(file)) != EOF) {
        if (length + 1 < size)
            line[length++] = static_cast<char>(c);
        else
            cut = true;
        if (c == '\n') break;
    }
    line[length] = '\0';
    return length > 0 || cut;
}
