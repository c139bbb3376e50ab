// One server worker: one connection to one configured news server, run by one thread.
// It asks the queue for segments its server has not failed on, fetches each article
// and hands the outcome back: saved, failed on this server, or returned unfetched.
//
// Retries: a broken or refused connection is reconnected twice, refused
// authentication renewed twice, per idle period; after that the segment goes back to
// the queue unmarked and the worker idles. An idle worker holds no connection.
//
// Threads: run() is the worker's own thread; stop() may come from any thread. It never
// closes the connection under the worker: it breaks off the blocked wait, and the
// worker's thread closes the connection and gives its segment back itself.
#pragma once
#include "NNTPmodel_iface.h"
#include "cPause.h"
#include "cTCPclientNNTP.h"
#include "cThread.h"

#include <atomic>
#include <chrono>
#include <mutex>

class NNTPqueue;

// How long the worker pauses; tests shorten them.
struct tworkerTimes {
    std::chrono::milliseconds idleWait{5000};      // idle: before asking the queue again
    std::chrono::milliseconds reconnectWait{1000}; // after a broken connection
    std::chrono::milliseconds missingWait{100};    // after an article the server lacks
};

class Corvane : public NNTPmodel_iface, public cThread {
  public:
    Corvane(int index, NNTPqueue* queue, tworkerTimes times = {});
    // Ends the thread (its segment goes back to the queue) and closes the connection.
    ~Corvane() override;

    // Reads the server section `section` of ./config.ini: hostid, hostport, hostname,
    // username, password, and TLS: hostssl (the port then defaults to 563),
    // hostsslverify (default 1), hostsslfingerprint ("sha256:<hex>").
    void rdconfig(const char* section);

    int start() override;
    // Asks the thread to end and breaks off its transfer; state 3 until it has ended.
    void stop() override;
    void run() override;

    int cindex() override { return index; }
    int cstate() override { return state.load(); }
    const char* chost() override { return connection.host(); }
    const char* cresp() override { return connection.cresp(); }
    const char* cinfo() override { return current.load(); }
    int cspeed() override;
    int cdelay() override;
    int ctls() override { return connection.tlsOn() ? 1 : 0; }
    const char* cfailure() override;

    // The speed monitor's figure for this connection: KB/s over its last interval. The
    // views hear of it as an info change.
    void measured(int kbPerSecond);

    int hostid() const { return host; }
    // The connection, for the model's speed monitor (byte counter and its reset).
    cTCPclientNNTP& client() { return connection; }

  private:
    // What the loop does after a fetch.
    enum class eNext { fetchNext, retrySame, giveBack };

    // Acts on the result of one fetch.
    eNext outcome(int rc, std::string& article);
    eNext afterBrokenConnection(int rc);
    eNext afterAuthRefused();
    // Enters state 1 or 2 unless a stop has come; notifies when the state changed.
    void enter(int newState);
    void goIdle();
    void quitConnection();
    // The TLS context of the server section, from its hostssl* keys.
    std::unique_ptr<TlsClientContext> tlsSettings(const char* section);
    bool pauseFor(std::chrono::milliseconds duration);
    bool stopped() const { return !keepRunning(); }

    const int index;
    NNTPqueue* const queue;
    const tworkerTimes times;
    int host = 0; // the server's hostid, for failure marks
    cTCPclientNNTP connection;

    // A stop's state 3 is never overwritten by the loop. Observers are told of state 3
    // under it, so an update() must not stop this worker itself.
    std::mutex stateLock;
    std::atomic<int> state{csDisabled};
    std::atomic<const char*> current{nullptr}; // message id in the queue slot, or null
    std::atomic<int> delay{0};
    std::atomic<int> speed{0};
    int connectionErrors = 0;
    int authRefusals = 0;
    cPause pause;
};
