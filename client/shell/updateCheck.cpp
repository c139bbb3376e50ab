#include "updateCheck.h"

#include "CTCPclientHTTP.h"
#include "articleSchema.h"
#include "connectionDeadline.h"
#include "detachedProcess.h"
#include "msgbox.h"
#include "profile.h"
#include "tlsClientContext.h"
#include "updateHost.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <thread>

namespace {

const size_t kMaxUrl = 1023;
const int kDefaultPort = 80;
const int kDefaultTlsPort = 443;
const char kUpdatePath[] = "/update.php?file=Brindle&version=1009";
const char kDownloadPath[] = "/download.php?file=Brindle.exe";
// The program asks itself for the check right at start-up; let the start settle first.
const auto kDelayBeforeCheck = std::chrono::milliseconds(500);

// The port after a host's ':': 1 to 65535 in decimal digits, otherwise 0.
int portNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return isdigit(c); }))
        return 0;
    int port = atoi(text.c_str());
    return port <= 65535 ? port : 0;
}

void openWithDesktop(const std::string& url) {
    if (int error = spawnDetached({"xdg-open", url}))
        printf("cannot open %s: xdg-open: %s\n", url.c_str(), strerror(error));
}

// Asks the update host (`base`: its scheme and host); the reply (up to the kept
// maximum) when an update exists.
bool askUpdateHost(const std::string& base, int timeoutSeconds, int deadlineSeconds,
                   std::string& reply) {
    const std::string url = base + kUpdatePath;
    char text[CTCPclientHTTP::kMaxReply + 1];
    if (updatecheck(url.c_str(), nullptr, text, CTCPclientHTTP::kMaxReply, timeoutSeconds,
                    deadlineSeconds) <= 0)
        return false;
    reply = text;
    return true;
}

void offerDownload(const std::string& base, const std::string& reply,
                   const std::function<void(const std::string&)>& open) {
    printf("update available ... %s", reply.c_str());
    fflush(stdout);
    const std::string question = "New version available..  Update?\n\nchanges v" + reply;
    int answer = msgbox::show(question.c_str(), "Update available 'Brindle'!",
                              msgbox::YESNO | msgbox::ICONQUESTION);
    if (answer != msgbox::IDYES) return;
    const std::string page = base + kDownloadPath;
    if (open)
        open(page);
    else
        openWithDesktop(page);
}

} // namespace

int updatecheck(const char* url, const char* extra, char* reply, size_t size, int timeoutSeconds,
                int deadlineSeconds) {
    std::string address = url ? url : "";
    if (address.size() > kMaxUrl) {
        printf("update url longer than %zu characters, cut\n", kMaxUrl);
        address.resize(kMaxUrl);
    }
    const size_t firstSlash = address.find('/');
    if (firstSlash == std::string::npos) return -1;
    const bool tls = strncasecmp(address.c_str(), "https:", 6) == 0;
    // The host follows the "//" of the scheme.
    const size_t hostBegin = std::min(firstSlash + 2, address.size());
    const size_t pathSlash = address.find('/', hostBegin);
    if (pathSlash == std::string::npos) return -2;

    std::string host = address.substr(hostBegin, pathSlash - hostBegin);
    int port = tls ? kDefaultTlsPort : kDefaultPort;
    const size_t colon = host.find(':');
    if (colon != std::string::npos) {
        port = portNumber(host.substr(colon + 1));
        host.resize(colon);
        if (!port) {
            printf("update url %s: no port number after the host\n", address.c_str());
            return 0;
        }
    }

    // GetUrl makes the connection; connecting here as well would cost a second one.
    CTCPclientHTTP http;
    http.connect(host.c_str(), port, timeoutSeconds, 0);
    // Checked against the system's store; a refusal is logged by the connection.
    if (tls) http.set_tls(std::make_unique<TlsClientContext>(TlsClientOptions()));
    ConnectionDeadline deadline(http, deadlineSeconds);
    const char* body = http.GetUrl(address.c_str() + pathSlash + 1, extra, nullptr);
    // Whatever came before the deadline is cut off somewhere: never taken for a reply.
    if (deadline.end()) {
        printf("update check: %s:%d did not answer in full within %d s, given up\n", host.c_str(),
               port, deadlineSeconds);
        return 0;
    }
    int version = 0;
    // Only that the body starts with a version number matters, not which one.
    if (!body || sscanf(body, "%d\n", &version) != 1) return 0;
    if (reply) {
        const size_t copied = std::min(size, strlen(body));
        memcpy(reply, body, copied);
        reply[copied] = 0;
    }
    return 1;
}

void runupdate(const std::function<void(const std::string& url)>& open, int timeoutSeconds,
               int deadlineSeconds) {
    std::this_thread::sleep_for(kDelayBeforeCheck);
    printf("updater ");
    const std::string host = profile::getString("DEFAULT", "updatehost", "", CONFIG_INI);
    const std::string base = updateHostBase(host);
    std::string reply;
    bool available = false;
    if (!host.empty() && base.empty())
        printf("updatehost \"%s\" in %s is not a host name, no update check\n", host.c_str(),
               CONFIG_INI);
    else if (!host.empty())
        available = askUpdateHost(base, timeoutSeconds, deadlineSeconds, reply);
    if (available)
        offerDownload(base, reply, open);
    else
        printf("no update ");
    fflush(stdout);
}
