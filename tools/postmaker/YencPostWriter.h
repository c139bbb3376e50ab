// Turns files into yEnc multi-part articles in a spool folder, one file per article,
// named after its message id. Articles are stored as a server sends them before
// dot-stuffing: header, empty line, body, CRLF line ends, no end line.
#pragma once

#include "PostOptions.h"

#include <string>
#include <vector>

class YencPostWriter {
  public:
    // Throws std::runtime_error when the options cannot work (no spool folder, bad
    // part size or id domain).
    explicit YencPostWriter(PostOptions options);

    // Posts one file as part `index` of `count` files; throws std::runtime_error when
    // the file cannot be read or an article cannot be written.
    PostedFile post(const std::string& path, int index, int count);

  private:
    std::string subjectFor(const std::string& name, int index, int count) const;
    std::string articleFor(const PostedFile& file, const PostedSegment& segment, int total,
                           const unsigned char* data) const;
    void store(const std::string& messageId, const std::string& article) const;

    PostOptions options;
    std::string token; // random per writer: message ids stay unique across runs
    std::string dateHeader;
    std::int64_t now = 0;
};

// Posts every file and writes the NZB (when `options.nzb` is set). Returns what was
// posted, in the order given. Throws std::runtime_error on the first failure.
std::vector<PostedFile> makePost(const std::vector<std::string>& files, const PostOptions& options);

// Copies the articles of `file` from the spool into `folder` the way the download client
// saves them: with the end line "." after the body, named "<post>.<file>.<number>.segm"
// in lower-case hexadecimal. Returns the paths written.
std::vector<std::string> saveAsSegmentFiles(const PostedFile& file, const std::string& spool,
                                            const std::string& folder, unsigned postId,
                                            unsigned fileId);
