#include "NewznabAnswer.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <expat.h>

namespace {

// Expat joins a namespace and a local name with this byte.
constexpr char kNamespaceSeparator = '|';
const char kAttrElement[] = "http://www.newznab.com/DTD/2010/feeds/attributes/|attr";
const char kResponseElement[] = "http://www.newznab.com/DTD/2010/feeds/attributes/|response";

const char* attribute(const XML_Char** attributes, const char* name) {
    for (int i = 0; attributes[i]; i += 2)
        if (strcmp(attributes[i], name) == 0) return attributes[i + 1];
    return nullptr;
}

long long number(const char* text) {
    if (!text) return -1;
    char* end = nullptr;
    const long long value = strtoll(text, &end, 10);
    return end != text && value >= 0 ? value : -1;
}

class Reader {
  public:
    explicit Reader(NewznabAnswer& answer) : answer(answer) {}

    void start(const char* name, const XML_Char** attributes) {
        ++depth;
        if (depth == 1 && strcmp(name, "error") == 0) {
            const char* code = attribute(attributes, "code");
            const char* description = attribute(attributes, "description");
            answer.kind = NewznabAnswer::Kind::error;
            answer.message = std::string("error ") + (code ? code : "?") + ": " +
                             (description ? description : "no description");
            return;
        }
        if (strcmp(name, kResponseElement) == 0) {
            answer.offset = number(attribute(attributes, "offset"));
            answer.total = number(attribute(attributes, "total"));
            return;
        }
        if (strcmp(name, "item") == 0 && !item) {
            answer.items.emplace_back();
            item = &answer.items.back();
            itemDepth = depth;
            return;
        }
        if (!item || depth != itemDepth + 1) return;
        if (strcmp(name, "enclosure") == 0) {
            const char* url = attribute(attributes, "url");
            if (url && item->enclosureUrl.empty()) item->enclosureUrl = url;
            if (item->enclosureLength < 0)
                item->enclosureLength = number(attribute(attributes, "length"));
        } else if (strcmp(name, kAttrElement) == 0) {
            takeAttr(attribute(attributes, "name"), attribute(attributes, "value"));
        } else {
            text = textField(name);
            if (text) text->clear();
        }
    }

    void end() {
        if (item && depth == itemDepth) item = nullptr;
        text = nullptr;
        --depth;
    }

    void characters(const XML_Char* data, int length) {
        if (text) text->append(data, (size_t)length);
    }

  private:
    // The element whose text an item keeps; the first category element only.
    std::string* textField(const char* name) {
        if (strcmp(name, "title") == 0) return &item->title;
        if (strcmp(name, "guid") == 0) return &item->guid;
        if (strcmp(name, "pubDate") == 0) return &item->pubDate;
        if (strcmp(name, "category") == 0 && item->category.empty()) return &item->category;
        return nullptr;
    }

    void takeAttr(const char* name, const char* value) {
        if (!name || !value) return;
        std::string* field = strcmp(name, "size") == 0         ? &item->size
                             : strcmp(name, "group") == 0      ? &item->group
                             : strcmp(name, "poster") == 0     ? &item->poster
                             : strcmp(name, "usenetdate") == 0 ? &item->usenetdate
                             : strcmp(name, "category") == 0   ? &item->attrCategory
                                                               : nullptr;
        if (field && field->empty()) *field = value;
    }

    NewznabAnswer& answer;
    NewznabItem* item = nullptr;
    std::string* text = nullptr;
    int depth = 0, itemDepth = 0;
};

struct Parse {
    XML_Parser parser;
    Reader reader;
    bool doctype = false;
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    static_cast<Parse*>(data)->reader.start(name, attributes);
}
void XMLCALL onEnd(void* data, const XML_Char*) {
    static_cast<Parse*>(data)->reader.end();
}
void XMLCALL onText(void* data, const XML_Char* text, int length) {
    static_cast<Parse*>(data)->reader.characters(text, length);
}
void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* parse = static_cast<Parse*>(data);
    parse->doctype = true;
    XML_StopParser(parse->parser, XML_FALSE);
}

} // namespace

NewznabAnswer readNewznabAnswer(const char* page, size_t length) {
    NewznabAnswer answer;
    if (length > (size_t)INT_MAX) {
        answer.kind = NewznabAnswer::Kind::unreadable;
        answer.message = "answer too large";
        return answer;
    }
    // The host has already turned the page into UTF-8, whatever its declaration says.
    XML_Parser parser = XML_ParserCreateNS("UTF-8", kNamespaceSeparator);
    if (!parser) {
        answer.kind = NewznabAnswer::Kind::unreadable;
        answer.message = "no memory for the XML parser";
        return answer;
    }
    Parse parse{parser, Reader(answer)};
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    const XML_Status status = XML_Parse(parser, page, (int)length, XML_TRUE);
    if (parse.doctype) {
        answer.kind = NewznabAnswer::Kind::hostile;
        answer.message = "answer with a document type declaration refused (entity definitions "
                         "are not read)";
    } else if (status != XML_STATUS_OK) {
        answer.kind = NewznabAnswer::Kind::unreadable;
        answer.message = std::string("not readable XML: ") +
                         XML_ErrorString(XML_GetErrorCode(parser)) + " at line " +
                         std::to_string(XML_GetCurrentLineNumber(parser));
    }
    if (answer.kind != NewznabAnswer::Kind::items) answer.items.clear();
    XML_ParserFree(parser);
    return answer;
}
