// What goes into a RAR set: entries stored as given (no compression), and how the set is cut.
#pragma once

#include <cstdint>
#include <string>

struct RarEntry {
    std::string name;       // stored as given, even "/etc/x" or "../x": tests need hostile names
    std::string path;       // file whose bytes are streamed; empty: `bytes` is the content
    std::string bytes;      // content when `path` is empty
    std::string linkTarget; // not empty: the entry is a symbolic link to this
    std::int64_t mtime = 0; // seconds since the epoch
    std::uint32_t mode = 0100644;

    bool isLink() const { return !linkTarget.empty(); }
};

// A file entry; its name is `nameAs`, or the file's own name when that is empty. Throws
// std::runtime_error when the file cannot be read.
RarEntry fileEntry(const std::string& path, const std::string& nameAs = "");
RarEntry bytesEntry(const std::string& name, const std::string& bytes);
RarEntry linkEntry(const std::string& name, const std::string& target);

enum class RarFormat { rar4, rar5 };

// part: NAME.part01.rar, NAME.part02.rar…; old (RAR4 only): NAME.rar, NAME.r00, NAME.r01…
enum class RarNaming { part, old };

struct RarSetOptions {
    RarFormat format = RarFormat::rar5;
    std::uint64_t volumeSize = 0; // 0: one archive NAME.rar, not a volume set
    RarNaming naming = RarNaming::part;
};
