// Bytes as a peer would send them: a connected socket pair whose far end has sent
// `data` and shut down its sending, so a reader sees the data and then the end of the
// connection, while its own sends still go out.
#pragma once
#include <string_view>

class SocketFeed {
  public:
    // Holds at most kMaxBytes (what the socket buffer takes without a reader).
    static constexpr size_t kMaxBytes = 64 * 1024;

    explicit SocketFeed(std::string_view data);
    ~SocketFeed();
    SocketFeed(const SocketFeed&) = delete;
    SocketFeed& operator=(const SocketFeed&) = delete;

    // The reading end; -1 when the pair could not be made. `release` hands it over to a
    // reader that closes it itself.
    int socket() const { return reader; }
    int release();

  private:
    int reader = -1;
    int writer = -1;
};
