// What the fetcher's tests share: an observer that records every response, and a
// fixture with a fresh folder of fixture pages ("site"), a "tmp" folder for the
// responses and test web servers serving the site.
#pragma once
#include "CFetchmill.h"
#include "TestWebServerProcess.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct Response {
    std::string file;
    std::string host;
    int result;
    std::string charset;
};

class RecordingObserver : public MFetchmillObserver {
  public:
    void httpResponse(const char* file, const char* host, int result,
                      const char* charset) override {
        std::lock_guard<std::mutex> guard(lock);
        responses.push_back({file, host, result, charset});
        changed.notify_all();
    }
    // Waits (at most 30 s) until `count` responses have come; returns what came.
    std::vector<Response> waitFor(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, std::chrono::seconds(30),
                         [&] { return responses.size() >= count; });
        return responses;
    }
    std::vector<Response> now() {
        std::lock_guard<std::mutex> guard(lock);
        return responses;
    }

  private:
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Response> responses;
};

class FetchmillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(temp.path.empty());
        fs::create_directories(dir / "site");
        fs::create_directories(dir / "tmp");
        std::ofstream(dir / "site" / "page.htm") << "<html>results</html>";
        std::ofstream(dir / "site" / "film.nzb") << "<nzb>film</nzb>";
        std::ofstream(dir / "site" / "history.txt") << "3.01 fixes\n";
        std::ofstream(dir / "site" / "split.http")
            << "HTTP/1.0 200 OK\r\nContent-Type: application/x-nzb\r\n\r\n<nzb>split</nzb>";
    }
    // A server of the site with these routes and further options.
    std::unique_ptr<TestWebServerProcess> startServer(std::vector<std::string> routes,
                                                      std::vector<std::string> options = {}) {
        std::vector<std::string> args = {"--root", (dir / "site").string(), "--log", log()};
        for (const std::string& route : routes)
            args.insert(args.end(), {"--route", route});
        args.insert(args.end(), options.begin(), options.end());
        return std::make_unique<TestWebServerProcess>(args);
    }
    // One request through a fetcher of its own; what the observer was told. What the
    // fetcher wrote to standard output meanwhile is kept in `fetchLog`.
    Response fetchOne(const std::string& file, const std::string& host, const std::string& url,
                      const char* post = nullptr, const char* cookie = nullptr,
                      const THttpLimits& limits = THttpLimits()) {
        RecordingObserver told;
        testing::internal::CaptureStdout();
        {
            CFetchmill fetcher(told, limits);
            fetcher.httpRequest(tmp(file).c_str(), host.empty() ? nullptr : host.c_str(),
                                url.c_str(), post, cookie);
            told.waitFor(1);
        }
        fflush(stdout);
        fetchLog = testing::internal::GetCapturedStdout();
        auto responses = told.now();
        return responses.empty() ? Response{"", "", -2, ""} : responses[0];
    }
    std::string log() const { return (dir / "requests.log").string(); }
    std::string tmp(const std::string& name) const { return (dir / "tmp" / name).string(); }
    // The names of everything in the response folder.
    std::set<std::string> tmpNames() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / "tmp"))
            names.insert(entry.path().filename().string());
        return names;
    }
    bool waitForLog() {
        for (int i = 0; i < 500; ++i) {
            if (fs::exists(log()) && fs::file_size(log()) > 0) return true;
            usleep(10000);
        }
        return false;
    }
    TempFolder temp{"fetchmill"};
    std::string fetchLog; // of the last fetchOne
    fs::path dir = temp.path;
    RecordingObserver observer;
};

