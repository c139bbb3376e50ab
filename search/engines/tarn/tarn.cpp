// Engine plug-in for Newznab indexers. One copy of it serves every indexer section of
// cfg/engines.ini: the host names the section before readconfig and hands the engine's
// name to parseresult, so nothing here belongs to one indexer.
#include <cstring>
#include <ctime>
#include <string>

#include "NewznabAnswer.h"
#include "fixedField.h"
#include "newznabRow.h"
#include "profile.h"
#include "textmarkup.h"

namespace {

const char kIni[] = "cfg/engines.ini";

// Items asked for per request; a full page means the next offset may hold more.
constexpr int kPageItems = 100;

bool onlyOf(const std::string& text, const char* allowed) {
    return text.find_first_not_of(allowed) == std::string::npos;
}

// A template that does not fit its field is refused rather than cut.
template <size_t N>
bool setTemplate(char (&field)[N], const std::string& value, const char* section,
                 const char* what) {
    if (value.size() >= N) {
        printf("%s:: the %s request does not fit (%zu bytes, at most %zu); key or categories "
               "too long \n",
               section, what, value.size(), N - 1);
        return false;
    }
    copyField(field, value.c_str());
    return true;
}

bool configure(tengine& engine) {
    const char* section = engine.name;
    const std::string host = profile::getString(section, "host", "", kIni);
    if (host.empty() || host.size() >= sizeof engine.host ||
        (strncasecmp(host.c_str(), "https://", 8) != 0 &&
         strncasecmp(host.c_str(), "http://", 7) != 0)) {
        printf("%s:: host \"%.60s\" in cfg/engines.ini is not an http(s) address of at most "
               "%zu characters; indexer left out \n",
               section, host.c_str(), sizeof engine.host - 1);
        return false;
    }
    const std::string key = profile::getString(section, "apikey", "", kIni);
    static const char kKeyBytes[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~";
    if (key.empty() || !onlyOf(key, kKeyBytes)) {
        // The key itself is never written to the log.
        printf("%s:: apikey in cfg/engines.ini is missing or holds characters other than "
               "letters, digits and -._~; indexer left out \n",
               section);
        return false;
    }
    const std::string categories = profile::getString(section, "categories", "", kIni);
    if (!onlyOf(categories, "0123456789,")) {
        printf("%s:: categories \"%.60s\" are not numbers separated by commas; indexer left "
               "out \n",
               section, categories.c_str());
        return false;
    }
    const bool groups = profile::getInt(section, "groupsearch", 1, kIni) != 0;
    const std::string query = "/api?t=search&apikey=" + key +
                              "&limit=" + std::to_string(kPageItems) + "&offset=$idlast$" +
                              (categories.empty() ? "" : "&cat=" + categories);
    copyField(engine.host, host.c_str());
    return setTemplate(engine.searchurl, query + "&q=$keyword$", section, "search") &&
           setTemplate(engine.browseurl, groups ? query + "&group=$group$" : query, section,
                       "browse");
}

} // namespace

int readconfig(tengine& engine) {
    engine.limit = kPageItems;
    engine.index = 0;
    copyField(engine.code, "tarn");
    engine.name[sizeof engine.name - 1] = 0;
    if (!engine.name[0]) {
        printf("tarn:: serves only indexers named in cfg/engines.ini (plugin=newznab) \n");
        return 0;
    }
    if (!configure(engine)) return 0;
    copyField(engine.nzburl, kLinkPlaceholder);
    engine.index = 7;
    return 0;
}

int parseresult(char* page, int length, std::string& sql) {
    const std::string engine = sql;
    sql.clear();
    NewznabAnswer answer = readNewznabAnswer(page, page && length > 0 ? (size_t)length : 0);
    if (answer.kind != NewznabAnswer::Kind::items) {
        sql = answer.message;
        return kParseRefused;
    }
    const time_t now = time(nullptr);
    int accepted = 0;
    for (NewznabItem& item : answer.items) {
        tresult row{};
        if (itemToRow(item, now, row)) concatresult(accepted++, row, sql, engine.c_str());
    }
    if (accepted == 0) return 0;
    tresult none{};
    concatresult(-1, none, sql, engine.c_str());
    const long long read = answer.offset < 0 ? 0 : answer.offset;
    const bool more = answer.total >= 0 ? read + (long long)answer.items.size() < answer.total
                                        : answer.items.size() >= (size_t)kPageItems;
    return more ? kParseHasMoreRows : kParseHasRows;
}
