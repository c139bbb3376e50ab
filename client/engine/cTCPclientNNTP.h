// One NNTP connection: greeting, AUTHINFO, ARTICLE by message id with end-of-article
// detection and dot-unstuffing, QUIT; plus the byte counter that the model's speed
// monitor reads from its own thread.
//
// Results: NNTP status codes where the server answered, 200 for a fetched article,
// -1 for a broken connection (the socket is then closed), 501 for a command that this
// side refuses to send (too long for the command buffer, or holding a line break).
#pragma once
#include "cTCPclient.h"

#include <string>

class cTCPclientNNTP : public cTCPclient {
  public:
    static constexpr int kTimeout = 30;
    static constexpr int kCommandSize = 512;
    static constexpr int kResponseSize = 512;

    cTCPclientNNTP();
    ~cTCPclientNNTP() override;

    // Host and port with the NNTP time-out of 30 s, without connecting.
    void set_host(const char* host, unsigned short port);
    // Copies each of user name and password that is given; an empty user name means no
    // authentication.
    void set_auth(const char* user, const char* password);

    using cTCPclient::connect;
    // TCP connect (and TLS when set), then the greeting: its status code, or -1 with
    // the connect failure in the response line.
    int connect();
    // AUTHINFO USER and PASS: the code of the PASS answer; 200 without a user name.
    int authinfo();
    // Formats `format` with `argument` into the command buffer and sends it: the send
    // result, or 501 (nothing sent) when it does not fit or the argument holds CR or LF.
    int send_command(const char* format, const char* argument);
    // Reads one status line into the response line: its status code when it begins
    // with a three-digit code, the first 1 to 5, else the number of bytes read; -1 when nothing
    // could be read or the line did not end within the response line (the socket is then closed).
    int recv_rescode();
    // Receives up to and including the end marker "\r\n.\r\n", counting bytes; the
    // length, or -1.
    int recv_resdata(std::string* data);
    // Fetches the article `id` (without angle brackets) into `data`: the article as
    // sent, dots unstuffed, followed by the end marker. 200 when `data` holds it.
    int article(const char* id, std::string* data);
    // QUIT, then close: the status code read, -1 when the connection was already gone.
    int quit();

    const char* cresp() const { return response; }
    const char* command() const { return commandLine; }
    // Bytes received since the counter was last reset.
    int bytecount() const { return counter.load(); }
    // Asks the next receive to start the byte counter afresh (the speed monitor's read).
    void resetcount() { counterReset = 1; }

  private:
    // Sends ARTICLE for `id` (connecting first when closed) and reads the status line:
    // its code, 501 for a refused command, or -1 (closed).
    int articleStatus(const char* id);
    // Deletes the first dot of every "\r\n.." from position 3 on, in one pass.
    static void unstuff(std::string& data);
    // The code of a well-formed status line, else -1.
    static int statusCode(const char* line);

    std::string user, password;
    char commandLine[kCommandSize] = {};
    char response[kResponseSize] = {};
    std::atomic<int> counter{0};
    std::atomic<int> counterReset{0};
};
