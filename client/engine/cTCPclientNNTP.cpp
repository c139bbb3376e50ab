#include "cTCPclientNNTP.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kEndMarker[] = "\r\n.\r\n";

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
    cTCPclient::connect();
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
    if (response[0] >= '1' && response[0] <= '5') return atoi(response);
    return length;
}

int cTCPclientNNTP::recv_resdata(std::string* data) {
    long long start = nowMs();
    int rc = recvE(data, kEndMarker, &counter, &counterReset);
    long long elapsed = nowMs() - start;
    if (elapsed > 0) bytesPerMs = (int)((long long)data->size() / elapsed);
    return rc;
}

int cTCPclientNNTP::article(const char* id, std::string* data) {
    data->clear();
    if (counterReset.exchange(0)) counter = 0;
    if (!isOpen()) {
        connect();
        authinfo();
    }
    int rc = send_command("ARTICLE <%s>\r\n", id);
    if (rc == 501) return rc;
    int code = recv_rescode();
    if (code < 0) return code;
    if (response[0] < '1' || response[0] > '5') {
        // Not a status line: the dialogue is out of step.
        close();
        return -1;
    }
    if (code < 200 || code >= 400) return code;
    rc = recv_resdata(data);
    if (rc <= 0) return rc;
    unstuff(*data);
    return 200;
}

void cTCPclientNNTP::unstuff(std::string& data) {
    const char pattern[] = "\r\n..";
    size_t from = 3;
    size_t write = std::string::npos; // nothing moved yet
    char* base = data.data();
    size_t size = data.size();
    while (from < size) {
        void* hit = memmem(base + from, size - from, pattern, 4);
        if (!hit) break;
        size_t match = (size_t)(static_cast<char*>(hit) - base);
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
    bytesPerMs = 0;
    counter = 0;
    return code;
}
