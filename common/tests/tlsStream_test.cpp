// The TLS layer over real loopback sockets, with certificates made for this run and
// the test's CA as the trust store.
#include "TestCertificates.h"
#include "TestFolders.h"
#include "tlsClientContext.h"
#include "tlsFingerprint.h"
#include "tlsServerContext.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

namespace {

class TlsLayer : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new TempFolder("tlslayer");
        certificates = new TestCertificates(folder->path);
        setenv("SSL_CERT_FILE", certificates->ca.c_str(), 1);
        unsetenv("SSL_CERT_DIR");
    }
    static void TearDownTestSuite() {
        delete certificates;
        delete folder;
    }

    // A connected loopback pair: `client` and `server` ends.
    void SetUp() override {
        ASSERT_TRUE(certificates->ok());
        int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(bind(listener, (sockaddr*)&address, size), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        getsockname(listener, (sockaddr*)&address, &size);
        client = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(connect(client, (sockaddr*)&address, size), 0);
        server = accept(listener, nullptr, nullptr);
        close(listener);
        ASSERT_GE(server, 0);
    }
    void TearDown() override {
        if (serverThread.joinable()) serverThread.join();
        close(client);
        close(server);
    }

    // Runs the server handshake with `certificate` and then `afterwards` on a thread.
    void serve(const TestCertificate& certificate,
               std::function<void(TlsStream&)> afterwards = [](TlsStream&) {}) {
        serverThread = std::thread([this, certificate, afterwards] {
            TlsServerContext context(certificate.certificate, certificate.key);
            std::string failure;
            auto stream = context.accept(server, 5000, failure);
            if (stream) afterwards(*stream);
        });
    }

    // The client handshake for `host`: the stream, or null with `failure` set.
    std::unique_ptr<TlsStream> handshake(const TlsClientOptions& options,
                                         const std::string& host = "localhost") {
        TlsClientContext context(options);
        return context.handshake(client, host, 5000, failure);
    }

    static TempFolder* folder;
    static TestCertificates* certificates;
    int client = -1, server = -1;
    std::thread serverThread;
    std::string failure;
};

TempFolder* TlsLayer::folder = nullptr;
TestCertificates* TlsLayer::certificates = nullptr;

TEST_F(TlsLayer, TrustedServerCarriesLargeDataBothWaysAndEndsCleanly) {
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (char)(i * 7 + i / 4099);
    serve(certificates->localhost, [&](TlsStream& stream) {
        char line[4];
        int n = stream.read(line, sizeof line, 5000);
        if (n == 4 && std::string(line, 4) == "GET\n")
            stream.write(data.data(), data.size(), 5000);
        stream.closeNotify();
    });
    auto stream = handshake({});
    ASSERT_TRUE(stream) << failure;
    EXPECT_NE(stream->description().find("TLSv1."), std::string::npos);
    ASSERT_EQ(stream->write("GET\n", 4, 5000), 4);
    std::string received;
    char buffer[10000]; // not a record's size: records end inside reads
    int n;
    while ((n = stream->read(buffer, sizeof buffer, 5000)) > 0)
        received.append(buffer, (size_t)n);
    EXPECT_EQ(n, 0) << stream->failure();
    EXPECT_TRUE(received == data);
}

TEST_F(TlsLayer, AddressHostIsCheckedAgainstTheCertificatesAddress) {
    serve(certificates->localhost);
    EXPECT_TRUE(handshake({}, "127.0.0.1")) << failure;
}

TEST_F(TlsLayer, RefusalsNameTheirReason) {
    struct Case {
        const TestCertificate& certificate;
        const char* reason;
    } cases[] = {
        {certificates->otherName, "host name mismatch"},
        {certificates->expired, "expired"},
        {certificates->selfSigned, "certificate not trusted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        TearDown();
        SetUp();
        serve(c.certificate);
        EXPECT_FALSE(handshake({}));
        EXPECT_EQ(failure, c.reason);
    }
}

TEST_F(TlsLayer, VerificationOffTakesAnyCertificate) {
    serve(certificates->selfSigned);
    EXPECT_TRUE(handshake({false, ""})) << failure;
}

TEST_F(TlsLayer, PinDecidesWhetherVerificationIsOnOrOff) {
    std::string pin = TestCertificates::fingerprint(certificates->selfSigned.certificate);
    ASSERT_FALSE(pin.empty());
    // A pinned self-signed certificate is taken; its digest in upper case with colons too.
    std::string spelled = "SHA256:";
    for (size_t i = 7; i < pin.size(); i += 2)
        spelled += (i > 7 ? ":" : "") + pin.substr(i, 2);
    for (char& c : spelled)
        c = (char)toupper((unsigned char)c);
    EXPECT_EQ(normalizeFingerprint(spelled), pin);
    serve(certificates->selfSigned);
    EXPECT_TRUE(handshake({true, spelled})) << failure;

    // Another certificate, even a trusted one, is refused, with verification off too.
    std::string otherPin = TestCertificates::fingerprint(certificates->localhost.certificate);
    for (bool verify : {true, false}) {
        TearDown();
        SetUp();
        serve(certificates->selfSigned);
        EXPECT_FALSE(handshake({verify, otherPin}));
        EXPECT_EQ(failure, "certificate fingerprint mismatch");
    }
}

TEST_F(TlsLayer, MalformedPinRefusesEveryConnection) {
    for (const char* pin : {"sha256:abcd", "md5:00", "sha256:zz"}) {
        TlsClientContext context({false, pin});
        EXPECT_FALSE(context.usable());
        EXPECT_FALSE(context.handshake(client, "localhost", 1000, failure));
        EXPECT_NE(failure.find("malformed fingerprint"), std::string::npos);
    }
}

TEST_F(TlsLayer, CloseWithoutCloseNotifyIsAFailureNotAnEnd) {
    serve(certificates->localhost, [&](TlsStream& stream) {
        stream.write("partial", 7, 5000);
        shutdown(server, SHUT_RDWR);
    });
    auto stream = handshake({});
    ASSERT_TRUE(stream) << failure;
    char buffer[64];
    EXPECT_EQ(stream->read(buffer, sizeof buffer, 5000), 7);
    EXPECT_EQ(stream->read(buffer, sizeof buffer, 5000), -1);
    EXPECT_EQ(stream->failure(), "connection closed without close_notify");
}

TEST_F(TlsLayer, SilentPeerTimesOutAndShutdownFromAnotherThreadBreaksAWait) {
    std::atomic<bool> release{false};
    serve(certificates->localhost, [&](TlsStream&) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    auto stream = handshake({});
    ASSERT_TRUE(stream) << failure;
    char buffer[64];
    EXPECT_EQ(stream->read(buffer, sizeof buffer, 200), TlsStream::kTimedOut);

    std::thread breaker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        shutdown(client, SHUT_RDWR);
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stream->read(buffer, sizeof buffer, 20000), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    breaker.join();
    release = true;
}

} // namespace
