// One generated file posted by the post maker into a spool of its own and served from
// there by a test news server on loopback, for tests that download it with corvane.
#pragma once
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "YencPostWriter.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class ServedPost {
  public:
    // Posts `name`, `bytes` of its first letter and a last line, under a new temporary
    // folder named after `prefix`.
    ServedPost(const char* prefix, const std::string& name, size_t bytes)
        : work(prefix), original(work.file(name)) {
        writeFile(original, std::string(bytes, name[0]) + "end\n");
        PostOptions post;
        post.spool = work.file("spool");
        post.nzb = nzb;
        std::filesystem::create_directories(post.spool);
        makePost({original}, post);
        server.emplace(std::vector<std::string>{"--spool", post.spool});
    }

    // The server's port, 0 when it did not start.
    int port() const { return server ? server->port() : 0; }

    TempFolder work;
    const std::string original; // the posted file
    const std::string nzb = work.file("post.nzb");

  private:
    std::optional<TestNewsServerProcess> server;
};
