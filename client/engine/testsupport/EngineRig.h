// The download engine without its model, for the engine's end-to-end tests and the
// throughput benchmark: the article database, the queue, workers per server and the
// decoder, wired as the model wires them. Everything lives in the working folder,
// which plays the program folder.
#pragma once
#include "Corvane.h"
#include "NNTPdecoder.h"
#include "NNTPqueue.h"
#include "sqliteDB.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class EngineRig {
  public:
    // Makes ./data with a fresh article database, ./temp for segment files and
    // ./download for decoded files, and links in the yydecode of the build's program
    // folder. Workers pause for `times`; the decoder looks at an empty list every
    // `decoderIdle`.
    explicit EngineRig(tworkerTimes times = {},
                       std::chrono::milliseconds decoderIdle = std::chrono::milliseconds(100));
    // Stops and awaits every worker and the decoder.
    ~EngineRig();
    EngineRig(const EngineRig&) = delete;
    EngineRig& operator=(const EngineRig&) = delete;

    // Imports an NZB as the model does (converter script, loaded under the lock) and
    // reloads the queue. False when the converter wrote no script.
    bool importNzb(const std::string& nzb);
    // The configuration section of server `hostid`; keys written there before
    // `addServer` (TLS, for example) are read by its workers.
    static std::string section(int hostid) { return "server" + std::to_string(hostid); }
    // Writes a server section for 127.0.0.1:`port` into ./config.ini and adds
    // `connections` workers that read it. Returns the index of the first.
    int addServer(int port, int hostid, int connections, const std::string& user = "",
                  const std::string& password = "");
    // Starts or stops (and awaits) the workers of server `hostid`; every worker for -1.
    void startWorkers(int hostid = -1);
    void stopWorkers(int hostid = -1);

    // The cached files and how many of them are in `state`.
    std::vector<tfile*> files();
    int filesIn(int state);

    sqliteDB db;
    NNTPdecoder decoder;

  private:
    // The model's part in the wiring: the queue's decoder events go to the decoder.
    class DecoderEvents : public NNTPmodel_iface {
      public:
        explicit DecoderEvents(NNTPdecoder& decoder) : decoder(decoder) {}
        void handleEvent(unsigned evt, void* p1, void* p2) override;

      private:
        NNTPdecoder& decoder;
    };
    DecoderEvents model;
    tworkerTimes times;

  public:
    NNTPqueue queue;
    std::vector<std::unique_ptr<Corvane>> workers;
};
