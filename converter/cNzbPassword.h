// The archive password an NZB names: in its head as <meta type="password">...</meta>, or
// as "{{password}}" at the end of its file name.
#pragma once

#include <cstddef>
#include <string>

// Reads the password meta from the elements the parser meets, in the reader's cut: a
// meta's text may come in several elements when a CDATA section holds a "<".
class cPasswordMeta {
  public:
    // Most text read for one meta; a longer one is dropped whole.
    static constexpr std::size_t kMaxRead = 4096;

    // Offers `element` (from its "<", terminated); true when it belongs to a password
    // meta and needs nothing else. Its text may be decoded in place.
    bool take(char* element);
    // An element was skipped (too long, NUL byte): a meta being read has lost a part.
    void skipped();
    // The text of the first complete password meta, references decoded, CDATA as it
    // stands, blanks around it removed; "" when there is none.
    const std::string& password() const { return found; }

  private:
    enum class eState { outside, text, cdata };

    void appendText(char* text);
    void appendCdata(char* text);
    void append(const char* text, std::size_t length);
    void finish();
    void abandon(const char* why);

    eState state = eState::outside;
    std::string value;
    bool tooLong = false;
    std::string found;
};

// Longest password stored. Real archive passwords are far shorter; the limit keeps the
// doubled-quote form within the statement buffer.
constexpr std::size_t kMaxPassword = 255;

// Why `password` cannot be stored as it is (a changed or cut password opens nothing), or
// nullptr when it can: too long, or a control character that would split its line.
const char* passwordFault(const std::string& password);

// Splits "{{password}}" off the end of an NZB file name, before ".nzb" or ".nzb.gz":
// `name` keeps the rest ("My.Post{{pw}}.nzb" becomes "My.Post.nzb") and the password is
// returned. A name with an empty "{{}}" or without both pairs of braces stays as it is.
std::string takeNamePassword(std::string& name);
