#include "CScoutlet.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>

#include "fixedField.h"
#include "programFolder.h"
#include "textmarkup.h"
#include "utf8Text.h"

namespace {

// Response file counters of the whole process, shared by every engine.
unsigned searchCounter = 0;
unsigned nzbCounter = 0;

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

CScoutlet::CScoutlet(MScoutletObserver& observer, const char* library) : observer_(observer) {
    engine_.index = 0;
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

    snprintf(filename_, sizeof filename_, "%s%.4x.htm", engine_.code, searchCounter++);
    fixfilename(filename_);
    const std::string file = std::string("tmp/") + filename_;
    copyField(filename_, file.c_str());
    observer_.httpRequest(filename_, engine_.host, path.c_str(), nullptr, engine_.cookie);
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

    // A file name part has at most 255 bytes; the NZB name is cut well below that.
    const std::string name = boundedKeyword(request, kNzbNameLimit);
    snprintf(filename_, sizeof filename_, "%s_%.4x.htm", name.c_str(), nzbCounter++);
    fixfilename(filename_);
    const std::string file = std::string("tmp/") + filename_;
    copyField(filename_, file.c_str());
    observer_.httpRequest(filename_, engine_.host, path.c_str(), body.c_str(), engine_.cookie);
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
    parse(page.data(), (int)page.size());
    return 0;
}

int CScoutlet::parse(char* page, int length) {
    if (!parseresult_ || !page) return 0;
    std::string script;
    const int result = parseresult_(page, length, script);
    if (result == kParseHasRows) observer_.sqlResponse(script.c_str());
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
