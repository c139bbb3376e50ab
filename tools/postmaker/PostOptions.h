// What the post maker is asked to make and what it made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PostOptions {
    std::string spool;             // folder that receives one file per article
    std::string nzb;               // NZB written for the post; empty: none
    std::size_t partSize = 384000; // data bytes per article
    int lineLength = 128;          // encoded characters per line
    std::string group = "alt.binaries.test";
    std::string poster = "Postmaker <postmaker@example.invalid>";
    std::string subject;                        // text put before each file's own subject
    std::string idDomain = "postmaker.invalid"; // right side of every message id
};

struct PostedSegment {
    int number = 0;          // 1-based part number
    std::string messageId;   // without angle brackets; also the spool file name
    std::uint64_t begin = 0; // first data byte, 1-based as in "=ypart begin="
    std::uint64_t end = 0;   // last data byte, inclusive
    std::uint64_t bytes = 0; // size of the article file in the spool
    std::uint32_t crc32 = 0; // of this part's data
};

struct PostedFile {
    std::string name; // file name as posted (no folder)
    std::string subject;
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    std::int64_t date = 0; // seconds since the epoch
    std::vector<PostedSegment> segments;
};
