#include "cTCPclientNNTP.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

const char kEndMarker[] = "\r\n.\r\n";

// The first "\r\n.." in [from, end), or null. Stuffed lines are rare in article
// data, so the scan looks for "\n." sixteen places at a time and checks the byte
// before and after only where that pair occurs.
const char* findStuffedLine(const char* from, const char* end) {
    const char pattern[] = "\r\n..";
#ifdef __SSE2__
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i dot = _mm_set1_epi8('.');
    // Each step reads from+1 .. from+17 and may check from+18 for the second dot.
    for (; end - from >= 19; from += 16) {
        __m128i feeds =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 1)), lineFeed);
        __m128i dots =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2)), dot);
        unsigned pairs = (unsigned)_mm_movemask_epi8(_mm_and_si128(feeds, dots));
        for (; pairs; pairs &= pairs - 1) {
            const char* start = from + __builtin_ctz(pairs);
            if (start[0] == '\r' && start[3] == '.') return start;
        }
    }
#endif
    if (end - from < 4) return nullptr;
    return static_cast<const char*>(memmem(from, (size_t)(end - from), pattern, 4));
}

} // namespace

cTCPclientNNTP::cTCPclientNNTP() : cTCPclient(-1) {}

cTCPclientNNTP::~cTCPclientNNTP() {
    if (isOpen()) quit();
    close();
}

void cTCPclientNNTP::set_host(const char* host, unsigned short port) {
    connect(host, port, kTimeout, 0);
    set_timeout(kTimeout);
}

void cTCPclientNNTP::set_auth(const char* name, const char* pass) {
    if (name) user = name;
    if (pass) password = pass;
}

int cTCPclientNNTP::connect() {
    if (cTCPclient::connect() != 0) {
        // The reason stands where a status line would, for the log and the views.
        snprintf(response, sizeof response, "%s", connectFailure());
        return -1;
    }
    return recv_rescode();
}

int cTCPclientNNTP::authinfo() {
    if (user.empty()) return 200;
    int rc = send_command("AUTHINFO USER %s\r\n", user.c_str());
    if (rc != 0) return rc;
    recv_rescode();
    rc = send_command("AUTHINFO PASS %s\r\n", password.c_str());
    if (rc != 0) return rc;
    return recv_rescode();
}

int cTCPclientNNTP::send_command(const char* format, const char* argument) {
    const char* text = argument ? argument : "";
    int length = snprintf(commandLine, sizeof commandLine, format, text);
    // A line break in the argument would smuggle in a second command.
    if (length < 0 || length >= (int)sizeof commandLine || strpbrk(text, "\r\n")) {
        commandLine[0] = 0;
        snprintf(response, sizeof response, "501 command refused: too long or holds a line break");
        return 501;
    }
    return send(commandLine, length);
}

int cTCPclientNNTP::recv_rescode() {
    response[0] = 0;
    if (!isOpen()) return -1;
    int length = recvE(response, kResponseSize - 1, '\n');
    if (length <= 0) {
        response[0] = 0;
        // A line longer than the response line leaves the dialogue out of step.
        close();
        return -1;
    }
    response[length - 1] = 0;
    int code = statusCode(response);
    return code >= 0 ? code : length;
}

int cTCPclientNNTP::statusCode(const char* line) {
    // Exactly three digits, the first 1 to 5, then the end or a blank: a longer number
    // must not wrap around into a success code.
    bool digits = line[0] >= '1' && line[0] <= '5' && isdigit((unsigned char)line[1]) &&
                  isdigit((unsigned char)line[2]);
    if (!digits || (line[3] && line[3] != ' ' && line[3] != '\r')) return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

int cTCPclientNNTP::recv_resdata(std::string* data) {
    return recvE(data, kEndMarker, &counter, &counterReset);
}

int cTCPclientNNTP::article(const char* id, std::string* data) {
    if (counterReset.exchange(0)) counter = 0;
    int code = articleStatus(id);
    if (code < 200 || code >= 400) {
        data->clear();
        return code;
    }
    // Not cleared before: the text's old length is memory the receive need not zero.
    int rc = recv_resdata(data);
    if (rc <= 0) return rc;
    unstuff(*data);
    return 200;
}

int cTCPclientNNTP::articleStatus(const char* id) {
    if (!isOpen()) {
        connect();
        authinfo();
    }
    int rc = send_command("ARTICLE <%s>\r\n", id);
    if (rc != 0) return rc == 501 ? rc : -1;
    int code = recv_rescode();
    if (code < 0) return code;
    if (statusCode(response) < 0) {
        // Not a status line: the dialogue is out of step.
        close();
        return -1;
    }
    return code;
}

void cTCPclientNNTP::unstuff(std::string& data) {
    size_t from = 3;
    size_t write = std::string::npos; // nothing moved yet
    char* base = data.data();
    size_t size = data.size();
    while (from < size) {
        const char* hit = findStuffedLine(base + from, base + size);
        if (!hit) break;
        size_t match = (size_t)(hit - base);
        size_t keepEnd = match + 2; // "\r\n" stays, the first dot goes
        if (write == std::string::npos)
            write = keepEnd;
        else {
            memmove(base + write, base + from, keepEnd - from);
            write += keepEnd - from;
        }
        from = keepEnd + 1;
    }
    if (write == std::string::npos) return;
    memmove(base + write, base + from, size - from);
    data.resize(write + size - from);
}

int cTCPclientNNTP::quit() {
    int rc = send_command("QUIT\r\n", nullptr);
    int code = rc == 0 ? recv_rescode() : -1;
    close();
    counter = 0;
    return code;
}
