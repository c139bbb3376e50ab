// The association of a file extension with the program that opens it, kept the
// freedesktop way: a desktop entry named after the program, the extension's MIME type,
// and that entry as the type's default application in the user's mimeapps.list.
#pragma once
#include <cstddef>

class CRegistry {
  public:
    // Size of the buffer GetFileAssociation fills, its terminator included.
    static const size_t kProgramSize = 1024;

    // Sets `program` (kProgramSize bytes) to the path of the program that opens files of
    // `extension` (".nzb"), or to empty text when none is registered or it cannot be read.
    static void GetFileAssociation(char* program, char* extension);

    // Registers `program`, a full path, as the opener of files of `extension`. Returns
    // 0, or -1 when a file could not be written; every file it did not rewrite whole is
    // left as it was.
    static int SetFileAssociation(char* program, char* extension);

    // Makes the installed desktop entry `desktopId` (such as "corvane.desktop", installed
    // with its MIME type) the opener of files of `extension`, when the desktop finds that
    // entry and its program exists. Returns 0, or -1 when it is missing or broken or the
    // default could not be written.
    static int SetFileAssociationToEntry(const char* desktopId, char* extension);
};
