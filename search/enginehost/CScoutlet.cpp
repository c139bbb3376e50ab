#include "CScoutlet.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>

#include "apiKeyMask.h"
#include "fixedField.h"
#include "programFolder.h"
#include "textmarkup.h"
#include "utf8Text.h"

namespace {

// Response file counters of the whole process, shared by every engine; a following page
// is asked for on the fetcher's thread.
std::atomic<unsigned> searchCounter = 0;
std::atomic<unsigned> nzbCounter = 0;

// Longest response page that is read into memory for parsing.
constexpr long long kPageLimit = 64LL * 1024 * 1024;

// Room of the pattern working buffer.
constexpr size_t kPatternBuffer = 1024;

// Longest formatted NZB request item.
constexpr size_t kNzbItemLimit = 47;

// Plug-ins lie in the program folder, beside this library.
std::string pluginFolder() {
    return folderOf((const void*)&pluginFolder);
}

// A response file name in "tmp/", safe as a file name.
std::string responseFile(char* name) {
    CScoutlet::fixfilename(name);
    return std::string("tmp/") + name;
}

// The name as queued: the fetcher replaces the extension with the answer's own.
std::string withoutExtension(const char* file) {
    const std::string name = file;
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash)
               ? name.substr(0, dot)
               : name;
}

// The keyword cut to `limit` bytes.
std::string boundedKeyword(const tsearch& request, size_t limit) {
    return request.keyword.substr(0, limit);
}

// Appends a substituted value; blanks and control bytes would end or split the request
// line, so they go out as %XX escapes.
void appendValue(std::string& out, std::string_view value) {
    static const char digits[] = "0123456789ABCDEF";
    for (const char c : value) {
        const unsigned char byte = (unsigned char)c;
        if (byte <= ' ' || byte == 0x7F) {
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 15];
        } else {
            out += c;
        }
    }
}

} // namespace

CScoutlet::CScoutlet(MScoutletObserver& observer, const char* library, const char* section)
    : observer_(observer) {
    engine_.index = 0;
    copyField(section_, section);
    libload(library);
}

CScoutlet::~CScoutlet() {
    libclose();
}

void CScoutlet::libload(const char* library) {
    char name[sizeof engine_.library];
    copyField(name, library); // may be our own field: copy before clearing
    engine_ = tengine{};
    memcpy(engine_.library, name, sizeof name);
    memcpy(engine_.name, section_, sizeof section_);
    if (!name[0]) return;

    const std::string path = strchr(name, '/') ? std::string(name) : pluginFolder() + "/" + name;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        printf("CScoutlet:: cannot load %s: %s \n", path.c_str(), dlerror());
        return;
    }
    readconfig_ = (readconfig_t)dlsym(handle_, kReadconfigSymbol);
    parseresult_ = (parseresult_t)dlsym(handle_, kParseresultSymbol);
    if (!readconfig_ || !parseresult_)
        printf("CScoutlet:: %s lacks an engine export \n", path.c_str());
    if (readconfig_) readconfig_(engine_);
    // Whatever the plug-in wrote, the texts stay terminated inside their fields.
    engine_.library[sizeof engine_.library - 1] = 0;
    engine_.code[sizeof engine_.code - 1] = 0;
    engine_.name[sizeof engine_.name - 1] = 0;
    engine_.host[sizeof engine_.host - 1] = 0;
    engine_.searchurl[sizeof engine_.searchurl - 1] = 0;
    engine_.browseurl[sizeof engine_.browseurl - 1] = 0;
    engine_.nzburl[sizeof engine_.nzburl - 1] = 0;
    engine_.nzbpost[sizeof engine_.nzbpost - 1] = 0;
    engine_.nzbitem[sizeof engine_.nzbitem - 1] = 0;
    engine_.cookie[sizeof engine_.cookie - 1] = 0;
    if (!parseresult_) engine_.index = 0; // an engine that cannot parse is not usable
}

int CScoutlet::libclose() {
    readconfig_ = nullptr;
    parseresult_ = nullptr;
    if (!handle_) return 0;
    const int result = dlclose(handle_);
    handle_ = nullptr;
    return result;
}

void CScoutlet::libupdate(const char*) {
    libclose();
    libload(engine_.library);
}

int CScoutlet::index() {
    return engine_.index;
}
char* CScoutlet::code() {
    return engine_.code;
}
char* CScoutlet::name() {
    return engine_.name;
}
char* CScoutlet::host() {
    return engine_.host;
}

bool CScoutlet::searchOk(tsearch& request) {
    return !request.keyword.empty() || !request.group.empty();
}

void CScoutlet::search(tsearch& request) {
    if (!searchOk(request)) return;
    std::string path;
    replaceparameters(path, request.keyword.empty() ? engine_.browseurl : engine_.searchurl,
                      request);
    // A site without a browse request gets its empty path, which HTTP writes as "/".
    if (path.empty()) path.push_back('/');

    char name[64];
    snprintf(name, sizeof name, "%s%.4x.htm", engine_.code, searchCounter++);
    const std::string file = responseFile(name);
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        pending_[withoutExtension(file.c_str())] = request;
    }
    observer_.httpRequest(file.c_str(), engine_.host, path.c_str(), nullptr, engine_.cookie);
}

bool CScoutlet::takeRequest(const char* file, tsearch& request) {
    std::lock_guard<std::mutex> guard(pendingLock_);
    const auto found = pending_.find(withoutExtension(file));
    if (found == pending_.end()) return false;
    request = std::move(found->second);
    pending_.erase(found);
    return true;
}

std::string CScoutlet::nzbFileName(const tsearch& request) {
    // A file name part has at most 255 bytes; the NZB name is cut well below that.
    const std::string base = boundedKeyword(request, kNzbNameLimit);
    char name[kNzbNameLimit + 16];
    snprintf(name, sizeof name, "%s_%.4x.htm", base.c_str(), nzbCounter++);
    return responseFile(name);
}

bool CScoutlet::downloadsByLink() {
    return strcmp(engine_.nzburl, kLinkPlaceholder) == 0;
}

void CScoutlet::fetchLink(tsearch& request) {
    const size_t hostLength = strlen(engine_.host);
    const std::string& link = request.link;
    if (hostLength == 0 || link.size() <= hostLength ||
        strncasecmp(link.c_str(), engine_.host, hostLength) != 0 || link[hostLength] != '/') {
        const std::string notice = std::string(engine_.name) + ": NZB address \"" +
                                   maskApiKeys(link).substr(0, 200) + "\" is not on " +
                                   engine_.host + ", not fetched";
        observer_.engineNotice(notice.c_str());
        return;
    }
    const std::string file = nzbFileName(request);
    observer_.httpRequest(file.c_str(), engine_.host, link.c_str() + hostLength, nullptr,
                          engine_.cookie);
}

void CScoutlet::downld(tsearch& request, char* ids, char sep) {
    std::string path;
    replaceparameters(path, engine_.nzburl, request);
    std::string body;
    replaceparameters(body, engine_.nzbpost, request);

    const bool numbered = strstr(engine_.nzbitem, "%d") != nullptr;
    char none[] = "";
    char* id = ids ? ids : none;
    for (int number = 0;; ++number) {
        char* next = sep ? strchr(id, sep) : nullptr;
        if (next) *next = 0;
        char item[kNzbItemLimit + 1];
        if (numbered)
            snprintf(item, sizeof item, engine_.nzbitem, number, id);
        else
            snprintf(item, sizeof item, engine_.nzbitem, id);
        if (number > 0) body += '&';
        body += item;
        if (!next) break;
        id = next + 1;
    }

    const std::string file = nzbFileName(request);
    observer_.httpRequest(file.c_str(), engine_.host, path.c_str(), body.c_str(), engine_.cookie);
}

namespace {

// Where a page names its encoding: a meta element's "charset=" near its top.
constexpr size_t kCharsetReach = 4096;

eCharset metaCharset(std::string_view page) {
    const std::string_view head = page.substr(0, kCharsetReach);
    static const std::string_view kMark = "charset=";
    for (size_t at = 0; at + kMark.size() < head.size(); ++at) {
        if (strncasecmp(head.data() + at, kMark.data(), kMark.size()) != 0) continue;
        size_t start = at + kMark.size();
        if (head[start] == '"' || head[start] == '\'') ++start;
        const size_t end = head.find_first_of("\"' ;>/", start);
        return charsetNamed(head.substr(start, end == std::string_view::npos ? end : end - start));
    }
    return eCharset::latin1;
}

} // namespace

int CScoutlet::parse(const char* file, const char* charset) {
    if (!file) return 0;
    const char* dot = strrchr(file, '.');
    if (dot && strcmp(dot, ".nzb") == 0) {
        observer_.nzbResponse(file);
        return 3;
    }
    tsearch request;
    const bool searched = takeRequest(file, request);
    FILE* in = fopen(file, "rb");
    if (!in) return 0;
    struct stat info {};
    if (fstat(fileno(in), &info) != 0 || info.st_size > kPageLimit) {
        printf("CScoutlet:: page %s is too large to parse \n", file);
        fclose(in);
        return 0;
    }
    const size_t size = (size_t)info.st_size;
    std::string raw(size, '\0');
    raw.resize(fread(raw.data(), 1, size, in));
    fclose(in);
    // The server's word beats the page's own, as in browsers.
    const bool served = charset && *charset;
    std::string page = toUtf8(raw, served ? charsetNamed(charset) : metaCharset(raw));
    const int result = parse(page.data(), (int)page.size());
    const int slot = engine_.index;
    if (result == kParseHasMoreRows && searched && request.page < kMostPages && slot > 0 &&
        slot < 16) {
        ++request.page;
        request.idlast[slot] += engine_.limit;
        search(request);
    }
    return 0;
}

int CScoutlet::parse(char* page, int length) {
    if (!parseresult_ || !page) return 0;
    std::string script = engine_.name;
    const int result = parseresult_(page, length, script);
    if (result == kParseHasRows || result == kParseHasMoreRows)
        observer_.sqlResponse(script.c_str());
    if (result == kParseRefused) {
        const std::string notice = std::string(engine_.name) + ": " + maskApiKeys(script);
        observer_.engineNotice(notice.c_str());
    }
    return result;
}

void CScoutlet::replaceparameters(std::string& out, const char* pattern, tsearch& request) {
    char buffer[kPatternBuffer];
    copyField(buffer, pattern);
    char* save = nullptr;
    for (char* part = strtok_r(buffer, "$", &save); part; part = strtok_r(nullptr, "$", &save)) {
        const std::string_view name(part);
        if (name == "keyword") {
            const std::string keyword = boundedKeyword(request, kKeywordLimit);
            char encoded[kKeywordLimit * 3 + 1];
            appendValue(out, text2url(encoded, keyword.c_str()));
        } else if (name == "group") {
            appendValue(out, request.group);
        } else if (name == "category") {
            appendValue(out, request.category);
        } else if (name == "idlast") {
            const int slot = engine_.index;
            out += std::to_string(slot >= 0 && slot < 16 ? request.idlast[slot] : 0);
        } else {
            out += part;
        }
    }
}

int CScoutlet::fixfilename(char* name) {
    if (!name) return 0;
    for (char* p = name; *p; ++p)
        if (strchr("/:;*?\"'<>| ", *p)) *p = '.';
    return (int)strlen(name);
}
