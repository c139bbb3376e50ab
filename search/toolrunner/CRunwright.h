// The tool runner: gzip, par2 and unrar run as child processes, synchronously. Nothing
// is returned; callers look at the tool's effect on the files.
#pragma once

class CRunwright {
  public:
    // Decompresses `file` in place: the result is `file` without its extension and the
    // compressed file is gone. The other two arguments are not used.
    static void gzip(const char* file, const char* unused1 = nullptr,
                     const char* unused2 = nullptr);
    // Verifies a par2 set: "par2 v -q first [second]". The third argument is not used.
    static void par2(const char* first, const char* second, const char* unused = nullptr);
    // Extracts an archive: "unrar x -y first [second]". The third argument is not used.
    static void unrar(const char* first, const char* second, const char* unused = nullptr);
};
