// One Newznab API answer read with expat: the items of an RSS 2.0 channel with their
// newznab:attr values, the paging figures, or the error the indexer sent instead.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct NewznabItem {
    std::string title, guid, pubDate, category;
    std::string enclosureUrl;
    long long enclosureLength = -1;
    // First value of each newznab:attr this engine stores; empty when absent.
    std::string size, group, poster, usenetdate, attrCategory;
};

struct NewznabAnswer {
    enum class Kind { items, error, unreadable, hostile };
    Kind kind = Kind::items;
    // The error's code and description, or why the page could not be read.
    std::string message;
    std::vector<NewznabItem> items;
    // From newznab:response; -1 when the answer did not say.
    long long offset = -1, total = -1;
};

// Reads `length` bytes of UTF-8 XML. A document type declaration is refused outright
// (kind hostile): Newznab answers never carry one, and it is where entity expansion
// and external entities live.
NewznabAnswer readNewznabAnswer(const char* page, size_t length);
