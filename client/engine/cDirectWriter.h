// Direct write: a yEnc article is decoded as it is saved and its bytes are written at
// their offset into "<download folder>/<name>.<file id>.part"; no segment file, no
// second pass over the data. What the finish needs later (the name the articles give,
// the declared size and CRC, each part's range and CRC) is appended to a small record
// file "<temp>/<post>.<file>.parts" (hex ids) after the bytes are written and before the
// queue books the segment, so a killed program finds every booked part again.
// The decoder's step for such a file is a finish: the whole-file CRC joined from the part
// CRCs, the file cut to its real length and renamed to its name (a free numbered one
// when that is taken).
#pragma once
#include "NNTPmodel_iface.h"
#include "YencParts.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class cDirectWriter {
  public:
    enum eWrite {
        dwWritten,    // the part is in the file (or was already): book the segment
        dwNotHere,    // not decodable here (UU, no usable =ypart, clashing part): segment file
        dwWriteFailed // the file could not take it: give the segment back
    };

    // Where the record files and the output files go; taken by the next write or finish.
    void setfolders(const std::string& tempfolder, const std::string& downloadto);

    // Called by the worker that fetched `segment` of `file`; safe on several threads.
    eWrite write(const tfile& file, const tsegm& segment, const std::string& article);
    // The decoder's step: 1 when no part of the file was written here, 0 when the file
    // was finished, -1 when it could not be (the part file and its record stay).
    // `path`, when given, receives where the file is now: its final name, or the part
    // file that stayed.
    int finish(const tfile& file, std::string* path = nullptr);
    // For a file deleted with its post or the database: removes its part file and record
    // and forgets its parts, as its ids come back with a later import.
    void discard(const tfile& file);

  private:
    struct tpartFile {
        bool loaded = false; // the record file was read
        bool started = false;
        std::string name;    // a safe name, from the first article
        std::uint64_t size = 0;
        int total = 0;
        std::optional<std::uint32_t> fileCrc;
        std::vector<YencPart> parts;
    };

    // Under `lock`: the file's entry, read from its record file on first use.
    tpartFile& entry(const tfile& file);
    bool appendRecord(const std::string& path, const std::string& lines);
    std::string partPath(const tfile& file) const;
    std::string recordPath(const tfile& file) const;

    std::mutex lock; // the entries, the folders, a record's first line
    std::map<int, tpartFile> files;
    std::string tempfolder = "./temp";
    std::string downloadto = "./temp";
};
