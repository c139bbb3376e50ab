// unpackArchive: libarchive reads the volumes as one stream; every entry passes our own
// checks and is then written by libarchive's disk writer, under the staging folder.
#include "archiveUnpack.h"

#include "cArchiveEntryGuard.h"
#include "cStagingFolder.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <climits>
#include <clocale>
#include <filesystem>
#include <memory>

namespace {

// libarchive turns entry names into the locale's characters, and the program runs in the C
// locale unless a window set another: every name beyond ASCII would fail. The unpacking
// thread says UTF-8, the folder names' encoding, for as long as it unpacks.
class cUtf8Names {
  public:
    cUtf8Names() : utf8(newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0)) {
        if (utf8) before = uselocale(utf8);
    }
    ~cUtf8Names() {
        if (!utf8) return;
        uselocale(before);
        freelocale(utf8);
    }
    cUtf8Names(const cUtf8Names&) = delete;
    cUtf8Names& operator=(const cUtf8Names&) = delete;

  private:
    locale_t utf8;
    locale_t before = (locale_t)0;
};

constexpr std::size_t kReadBlock = 1 << 16;

struct archiveReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct archiveWriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

std::string oneLine(const char* text) {
    std::string line = text ? text : "unknown error";
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

cArchiveEntryGuard::eKind kindOf(archive_entry* entry, std::string& why) {
    if (archive_entry_hardlink(entry)) return cArchiveEntryGuard::ekHardLink;
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        return cArchiveEntryGuard::ekFile;
    case AE_IFDIR:
        return cArchiveEntryGuard::ekFolder;
    case AE_IFLNK:
        return cArchiveEntryGuard::ekSymLink;
    default:
        why = "neither a file, a folder nor a link";
        return cArchiveEntryGuard::ekFile;
    }
}

// One extraction of a set into a staging folder.
class cExtraction {
  public:
    cExtraction(const archiveSet& set, const std::string& password,
                const std::function<void(int)>& progress, const std::atomic<bool>* stop)
        : set(set), password(password), progress(progress), stop(stop), in(archive_read_new()),
          out(archive_write_disk_new()) {}

    // "" when every entry is out under `staging`, else the reason.
    std::string run(const std::string& staging, bool& passwordNeeded);

  private:
    std::string open();
    std::string extractEntry(archive_entry* entry, const std::string& staging);
    std::string copyData(const std::string& name);
    // Why reading failed; tells a missing or wrong password apart from damage.
    std::string readFailure(const std::string& name);
    // libarchive ends a RAR4 set quietly at a volume that ends between two entries: the
    // volume it never reached, named in the reason; "" when it reached the last one.
    std::string unreadVolume();
    bool stopped() const { return stop && stop->load(); }
    void reportProgress();

    const archiveSet& set;
    const std::string& password;
    const std::function<void(int)>& progress;
    const std::atomic<bool>* stop;
    std::unique_ptr<archive, archiveReadFree> in;
    std::unique_ptr<archive, archiveWriteFree> out;
    cArchiveEntryGuard guard;
    std::uintmax_t totalBytes = 0;
    int shownPercent = -1;
    bool forPassword = false;
};

std::string cExtraction::open() {
    archive* a = in.get();
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_zip(a);
    if (!password.empty()) archive_read_add_passphrase(a, password.c_str());
    std::vector<const char*> names;
    for (const std::string& volume : set.volumes) {
        std::error_code error;
        totalBytes += std::filesystem::file_size(volume, error);
        names.push_back(volume.c_str());
    }
    names.push_back(nullptr);
    if (archive_read_open_filenames(a, names.data(), kReadBlock) != ARCHIVE_OK)
        return oneLine(archive_error_string(a));

    // The owner and the set-user-id bits are never restored (no ..._OWNER, no ..._PERM).
    // ..._NOABSOLUTEPATHS cannot be asked for: entries are written under the staging
    // folder's absolute path; absolute entry paths are refused by the guard instead.
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME |
                                                  ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                  ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    return "";
}

std::string cExtraction::run(const std::string& staging, bool& passwordNeeded) {
    std::string failed = open();
    if (failed.empty()) reportProgress();
    while (failed.empty()) {
        if (stopped()) return "stopped";
        archive_entry* entry = nullptr;
        int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        failed = r < ARCHIVE_WARN ? readFailure("") : extractEntry(entry, staging);
    }
    if (failed.empty()) failed = unreadVolume();
    if (failed.empty() && archive_write_close(out.get()) < ARCHIVE_WARN)
        failed = oneLine(archive_error_string(out.get()));
    if (failed.empty()) failed = guard.checkLinks();
    passwordNeeded = forPassword;
    return failed;
}

std::string cExtraction::extractEntry(archive_entry* entry, const std::string& staging) {
    const char* pathname = archive_entry_pathname(entry);
    const std::string name = pathname ? pathname : "";
    if (archive_entry_is_encrypted(entry) && password.empty()) {
        forPassword = true;
        return "password needed";
    }
    std::string why;
    cArchiveEntryGuard::eKind kind = kindOf(entry, why);
    if (!why.empty()) return entryReason(name, why);
    const char* link = kind == cArchiveEntryGuard::ekHardLink  ? archive_entry_hardlink(entry)
                       : kind == cArchiveEntryGuard::ekSymLink ? archive_entry_symlink(entry)
                                                               : "";
    std::string plain, plainLink;
    why = guard.check(name, kind, link ? link : "", plain, plainLink);
    if (!why.empty()) return why;
    if (plain.empty()) return ""; // the top folder itself

    const std::string staged = staging + "/" + plain;
    const std::string stagedLink = staging + "/" + plainLink;
    // Past PATH_MAX the disk writer would change the working folder of the whole process.
    if (staged.size() >= PATH_MAX || stagedLink.size() >= PATH_MAX)
        return entryReason(name, "path too long");
    archive_entry_copy_pathname(entry, staged.c_str());
    if (kind == cArchiveEntryGuard::ekHardLink)
        archive_entry_copy_hardlink(entry, stagedLink.c_str());
    // Readable and writable by us whatever the archive says, so the staging folder can
    // always be moved and removed.
    archive_entry_set_perm(entry, archive_entry_perm(entry) |
                                      (kind == cArchiveEntryGuard::ekFolder ? 0700 : 0600));

    if (archive_write_header(out.get(), entry) < ARCHIVE_WARN)
        return entryReason(name, oneLine(archive_error_string(out.get())));
    if (archive_entry_size(entry) > 0 || !archive_entry_size_is_set(entry)) {
        std::string failed = copyData(name);
        if (!failed.empty()) return failed;
    }
    if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN)
        return entryReason(name, oneLine(archive_error_string(out.get())));
    return "";
}

std::string cExtraction::copyData(const std::string& name) {
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        if (stopped()) return "stopped";
        int r = archive_read_data_block(in.get(), &block, &size, &offset);
        if (r == ARCHIVE_EOF) return "";
        if (r != ARCHIVE_OK) return readFailure(name); // a bad CRC is only a warning
        if (archive_write_data_block(out.get(), block, size, offset) < ARCHIVE_WARN)
            return entryReason(name, oneLine(archive_error_string(out.get())));
        reportProgress();
    }
}

std::string cExtraction::readFailure(const std::string& name) {
    const std::string text = oneLine(archive_error_string(in.get()));
    if (text.find("Passphrase required") != std::string::npos ||
        (password.empty() && text.find("ncrypt") != std::string::npos)) {
        forPassword = true;
        return "password needed";
    }
    if (text.find("Incorrect passphrase") != std::string::npos) {
        forPassword = true;
        return "wrong password";
    }
    return name.empty() ? text : entryReason(name, text);
}

std::string cExtraction::unreadVolume() {
    if (set.kind != "rar") return ""; // 7z and zip read their index at the end
    la_int64_t read = archive_filter_bytes(in.get(), -1);
    std::uintmax_t volumeEnd = 0;
    for (std::size_t i = 0; i + 1 < set.volumes.size(); ++i) {
        std::error_code error;
        volumeEnd += std::filesystem::file_size(set.volumes[i], error);
        if (read >= 0 && static_cast<std::uintmax_t>(read) <= volumeEnd)
            return "the archive ends before its volume " +
                   std::filesystem::path(set.volumes[i + 1]).filename().string();
    }
    return "";
}

void cExtraction::reportProgress() {
    if (!progress || totalBytes == 0) return;
    la_int64_t read = archive_filter_bytes(in.get(), -1);
    if (read < 0) return;
    std::uintmax_t done = static_cast<std::uintmax_t>(read);
    int percent = static_cast<int>(std::min<std::uintmax_t>(99, done * 100 / totalBytes));
    if (percent <= shownPercent) return;
    shownPercent = percent;
    progress(percent);
}

} // namespace

unpackResult unpackArchive(const archiveSet& set, const std::string& target,
                           const std::string& password, const std::function<void(int)>& progress,
                           const std::atomic<bool>* stop) {
    unpackResult result;
    if (set.volumes.empty()) {
        result.reason = "no volumes";
        return result;
    }
    std::error_code error;
    std::filesystem::create_directories(target, error);
    if (error) {
        result.reason = "cannot make the folder " + target + ": " + error.message();
        return result;
    }
    cStagingFolder staging;
    result.reason = staging.create(target);
    if (!result.reason.empty()) return result;

    cUtf8Names names;
    cExtraction extraction(set, password, progress, stop);
    result.reason = extraction.run(staging.path(), result.passwordNeeded);
    if (!result.reason.empty()) return result;
    result.reason = staging.moveIntoTarget(result.written);
    result.ok = result.reason.empty();
    if (result.ok && progress) progress(100);
    return result;
}
