#include "CRunwright.h"

#include "CGzipExe.h"
#include "CPar2Exe.h"
#include "CUnrarExe.h"

void CRunwright::gzip(const char* file, const char*, const char*) {
    CGzipExe tool;
    tool.execute(file);
}

void CRunwright::par2(const char* first, const char* second, const char*) {
    CPar2Exe tool;
    tool.execute(first, second);
}

void CRunwright::unrar(const char* first, const char* second, const char*) {
    CUnrarExe tool;
    tool.execute(first, second);
}
