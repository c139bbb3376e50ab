#include "NewsSession.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {

const size_t kMaxLine = 4096;
const int kStepMs = 200;
const size_t kSendChunk = 256 * 1024;
const size_t kReadChunk = 16 * 1024;
const int kHandshakeMs = 10000;

std::string upper(std::string text) {
    for (char& c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

// Splits "WORD rest" at the first blank: the word upper-cased, the rest as it stands.
void splitCommand(const std::string& line, std::string& word, std::string& rest) {
    size_t blank = line.find(' ');
    word = upper(line.substr(0, blank));
    rest = blank == std::string::npos ? "" : line.substr(blank + 1);
}

} // namespace

NewsSession::NewsSession(int fd, int number, NewsServerContext& context)
    : fd(fd), connection(fd), number(number), context(context) {}

NewsSession::~NewsSession() {
    // A cut transfer ends like a dropped line: no close_notify.
    if (!cutShort) connection.finishSending();
    close(fd);
}

void NewsSession::run() {
    const NewsServerOptions& options = context.options;
    context.log.write(number, "CONNECT");
    if (context.tls) {
        std::string failure;
        if (!connection.startTls(*context.tls, kHandshakeMs, failure)) {
            context.log.write(number, "TLS failed: " + failure);
            return;
        }
    }
    if (options.silent) return keepSilent();
    if (options.refuseGreeting) {
        answer("502 service unavailable");
        return;
    }
    if (!answer("200 testnewsserver ready")) return;
    if (options.silentAfterGreeting) return keepSilent();
    std::string line;
    while (readLine(line)) {
        context.log.write(number, line);
        if (!handle(line)) return;
    }
}

bool NewsSession::handle(const std::string& line) {
    std::string word, rest;
    splitCommand(line, word, rest);
    if (word == "QUIT") {
        answer("205 closing connection");
        return false;
    }
    if (word == "AUTHINFO") return handleAuthinfo(rest);
    if (word == "ARTICLE") return handleArticle(rest, false);
    // Some clients ask for the body alone: benchmark peers.
    if (word == "BODY") return handleArticle(rest, true);
    return answer("500 unknown command");
}

bool NewsSession::handleAuthinfo(const std::string& argument) {
    std::string word, value;
    splitCommand(argument, word, value);
    const NewsServerOptions& options = context.options;
    if (word == "USER") {
        givenUser = value;
        authenticated = false;
        return answer("381 password required");
    }
    if (word == "PASS") {
        bool required = !options.user.empty() || !options.pass.empty();
        if (required && givenUser.empty()) return answer("482 authentication out of sequence");
        if (required && (givenUser != options.user || value != options.pass))
            return answer("481 authentication failed");
        authenticated = true;
        return answer("281 authentication accepted");
    }
    return answer("501 syntax: AUTHINFO USER name | AUTHINFO PASS password");
}

bool NewsSession::handleArticle(const std::string& argument, bool bodyOnly) {
    const NewsServerOptions& options = context.options;
    bool required = !options.user.empty() || !options.pass.empty();
    if (required && !authenticated) return answer("480 authentication required");
    if (argument.size() < 2 || argument.front() != '<' || argument.back() != '>')
        return answer(bodyOnly ? "501 syntax: BODY <message-id>" : "501 syntax: ARTICLE <message-id>");
    std::string id = argument.substr(1, argument.size() - 2);
    if (options.silentIds.count(id)) {
        keepSilent();
        return false;
    }
    answerBuffer.assign((bodyOnly ? "222 0 <" : "220 0 <") + id + ">\r\n");
    size_t statusLength = answerBuffer.size();
    if (!context.spool.appendStuffed(id, answerBuffer, fileBuffer))
        return answer("430 no such article");
    if (bodyOnly) {
        size_t blank = answerBuffer.find("\r\n\r\n", statusLength - 2);
        if (blank != std::string::npos) answerBuffer.erase(statusLength, blank + 4 - statusLength);
    }
    answerBuffer.append(".\r\n");
    if (!pause(options.delayMs)) return false;
    long long cut = context.cuts.takeCut(id);
    if (cut >= 0) {
        size_t size = std::min(answerBuffer.size(), statusLength + (size_t)cut);
        sendAll(answerBuffer.data(), size);
        cutShort = true;
        context.log.write(number, "CUT after " + std::to_string(size - statusLength));
        return false;
    }
    return sendAll(answerBuffer.data(), answerBuffer.size());
}

bool NewsSession::answer(const std::string& line) {
    if (!pause(context.options.delayMs)) return false;
    std::string text = line + "\r\n";
    return sendAll(text.data(), text.size());
}

bool NewsSession::readLine(std::string& line) {
    while (!context.stopping) {
        size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            line.assign(pending, 0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (pending.size() > kMaxLine) {
            answer("501 line too long");
            return false;
        }
        char buffer[kReadChunk];
        int n = connection.receive(buffer, sizeof buffer, kStepMs);
        if (n == ServerConnection::kNothingYet) continue;
        if (n <= 0) return false;
        pending.append(buffer, (size_t)n);
    }
    return false;
}

bool NewsSession::sendAll(const char* data, size_t size) {
    size_t done = 0;
    while (done < size && !context.stopping) {
        long n = connection.send(data + done, std::min(kSendChunk, size - done), kStepMs);
        if (n < 0) return false;
        done += (size_t)n;
    }
    return done == size;
}

void NewsSession::keepSilent() {
    char buffer[kReadChunk];
    while (!context.stopping) {
        int n = connection.receive(buffer, sizeof buffer, kStepMs);
        if (n != ServerConnection::kNothingYet && n <= 0) return;
    }
}

bool NewsSession::pause(int ms) {
    const int step = 20;
    for (int waited = 0; waited < ms; waited += step) {
        if (context.stopping) return false;
        usleep((useconds_t)std::min(step, ms - waited) * 1000);
    }
    return !context.stopping;
}
