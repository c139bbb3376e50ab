#include "Corvane.h"

#include "NNTPqueue.h"
#include "articleSchema.h"
#include "profile.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// Field size of the configured host name, user name and password.
const int kConfigText = 64;
// Articles are well below this; a larger buffer is let go after use.
const size_t kKeptArticleCapacity = 8 * 1024 * 1024;

int elapsedMs(std::chrono::steady_clock::time_point since) {
    return (int)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - since)
        .count();
}

} // namespace

Corvane::Corvane(int index, NNTPqueue* queue, tworkerTimes times)
    : index(index), queue(queue), times(times) {}

Corvane::~Corvane() {
    cThread::stop();
    pause.wake();
    if (queue) queue->wakeIdle();
    connection.interrupt();
    wait();
    quitConnection();
}

void Corvane::rdconfig(const char* section) {
    host = profile::getInt(section, "hostid", 0, CONFIG_INI);
    bool secure = profile::getInt(section, "hostssl", 0, CONFIG_INI) != 0;
    const int defaultPort = secure ? 563 : 119;
    int port = profile::getInt(section, "hostport", defaultPort, CONFIG_INI);
    if (port < 1 || port > 65535) port = defaultPort;
    char name[kConfigText];
    char user[kConfigText];
    char password[kConfigText];
    profile::getString(section, "hostname", "", name, sizeof name, CONFIG_INI);
    profile::getString(section, "username", "", user, sizeof user, CONFIG_INI);
    profile::getString(section, "password", "", password, sizeof password, CONFIG_INI);
    connection.set_host(name, (unsigned short)port);
    connection.set_auth(user, password);
    connection.set_tls(secure ? tlsSettings(section) : nullptr);
}

std::unique_ptr<TlsClientContext> Corvane::tlsSettings(const char* section) {
    TlsClientOptions options;
    options.verify = profile::getInt(section, "hostsslverify", 1, CONFIG_INI) != 0;
    char pin[kConfigText * 2];
    profile::getString(section, "hostsslfingerprint", "", pin, sizeof pin, CONFIG_INI);
    options.fingerprint = pin;
    auto context = std::make_unique<TlsClientContext>(options);
    // Kept all the same: its connections fail with this reason, never unprotected.
    if (!context->usable())
        printf("%d: server %s: %s; no connection will be made\n", index, section,
               context->problem().c_str());
    return context;
}

int Corvane::start() {
    // A stop of an earlier run left the connection interrupted.
    if (!hasThread()) connection.clearInterrupt();
    return cThread::start();
}

void Corvane::stop() {
    {
        // Told under the lock, so the views hear of state 3 before the loop's end sets 0.
        std::lock_guard<std::mutex> guard(stateLock);
        cThread::stop();
        // A worker without a running loop stays disabled: nothing will end it.
        if (state != csDisabled) state = csStopping;
        notify(updClientState, static_cast<NNTPmodel_iface*>(this));
    }
    pause.wake();
    if (queue) queue->wakeIdle();
    connection.interrupt();
}

int Corvane::cspeed() {
    return speed.load();
}

void Corvane::measured(int kbPerSecond) {
    if (speed.exchange(kbPerSecond) == kbPerSecond) return;
    notify(updClientInfo, static_cast<NNTPmodel_iface*>(this));
}

const char* Corvane::cfailure() {
    const char* failure = connection.connectFailure();
    return failure[0] ? failure : nullptr;
}

int Corvane::cdelay() {
    return state == csIdle ? 0 : delay.load();
}

void Corvane::enter(int newState) {
    {
        std::lock_guard<std::mutex> guard(stateLock);
        if (!keepRunning() || state == newState) return;
        state = newState;
    }
    notify(updClientState, static_cast<NNTPmodel_iface*>(this));
}

void Corvane::goIdle() {
    {
        std::lock_guard<std::mutex> guard(stateLock);
        if (!keepRunning() || state == csIdle) return;
        delay = 0;
        state = csIdle;
    }
    connectionErrors = 0;
    authRefusals = 0;
    notify(updClientInfo, static_cast<NNTPmodel_iface*>(this));
    notify(updClientState, static_cast<NNTPmodel_iface*>(this));
}

bool Corvane::pauseFor(std::chrono::milliseconds duration) {
    return pause.wait(duration, [this] { return stopped(); });
}

void Corvane::quitConnection() {
    if (connection.isOpen()) connection.quit();
}

void Corvane::run() {
    cThread::run();
    enter(csActive);
    unsigned seen = queue->workCount();
    current = queue->next(index, host);
    std::string article; // reused: its buffer grows to the largest article once
    while (keepRunning()) {
        if (!current) {
            goIdle();
            // New work ends the idle wait early: a download starts as soon as it is queued.
            if (!queue->awaitWork(times.idleWait, seen, [this] { return stopped(); })) break;
            seen = queue->workCount();
            current = queue->next(index, host);
            if (!current) {
                quitConnection(); // an idle worker holds no connection
                continue;
            }
            enter(csActive);
        }
        notify(updClientInfo, static_cast<NNTPmodel_iface*>(this));
        int rc = connection.article(current, &article);
        auto transferred = std::chrono::steady_clock::now();
        eNext next = outcome(rc, article);
        // A hostile server's oversized answer must not keep its buffer for good.
        if (article.capacity() > kKeptArticleCapacity) std::string().swap(article);
        if (next == eNext::retrySame) continue;
        if (next == eNext::giveBack) {
            queue->rset(index);
            current = nullptr;
            continue;
        }
        current = queue->next(index, host);
        delay = elapsedMs(transferred);
    }
    quitConnection();
    if (current) {
        queue->rset(index);
        current = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(stateLock);
        delay = 0;
        state = csDisabled;
    }
    notify(updClientInfo, static_cast<NNTPmodel_iface*>(this));
    notify(updClientState, static_cast<NNTPmodel_iface*>(this));
}

Corvane::eNext Corvane::outcome(int rc, std::string& article) {
    if (rc == 200) {
        queue->save(index, &article);
        printf("%d: %s\n", index, connection.cresp());
        return eNext::fetchNext;
    }
    if (rc == -1 || rc == 0 || rc == 400) return afterBrokenConnection(rc);
    if (rc == 480) return afterAuthRefused();
    // The server lacks the article (430, 423, ...): another server may have it.
    printf("%d: %s\n", index, connection.cresp());
    queue->fail(index, host);
    pauseFor(times.missingWait);
    return eNext::fetchNext;
}

Corvane::eNext Corvane::afterBrokenConnection(int rc) {
    int error = errno;
    printf("%d: sock error(%.3d): %.8d %s %.4s\n", index, rc, error, connection.host(),
           connection.cresp());
    if (connectionErrors >= 2 || stopped()) return eNext::giveBack;
    ++connectionErrors;
    quitConnection();
    if (!pauseFor(times.reconnectWait)) return eNext::giveBack;
    int greeting = connection.connect();
    if (greeting >= 200 && greeting < 300) connection.authinfo();
    return eNext::retrySame;
}

Corvane::eNext Corvane::afterAuthRefused() {
    printf("%d: authentication refused: %s\n", index, connection.cresp());
    if (authRefusals >= 2 || stopped()) return eNext::giveBack;
    ++authRefusals;
    connection.authinfo();
    return eNext::retrySame;
}
