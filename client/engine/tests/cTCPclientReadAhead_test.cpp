// The connection's read-ahead: status lines and article data taken from one buffer,
// answers joined in one read, a reused text, dot lines at every offset. Answers cut
// into two reads are tested with the other scripted dialogues.
#include "ScriptedNewsServer.h"
#include "TestFolders.h"
#include "TestNewsServerProcess.h"
#include "cTCPclientNNTP.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kGreeting[] = "200 hello\r\n";

// Reads one command line; appends it (without CR LF) to `commands`.
bool readCommand(int fd, std::vector<std::string>& commands) {
    std::string line;
    char byte = 0;
    while (byte != '\n') {
        if (recv(fd, &byte, 1, 0) != 1) return false;
        line += byte;
    }
    commands.push_back(line.substr(0, line.size() - 2));
    return true;
}

// Article text of `size` bytes made of full lines, its letters telling sizes apart.
std::string sizedArticle(size_t size) {
    std::string text = "Subject: s\r\n\r\n";
    char letter = (char)('a' + size % 26);
    while (text.size() + 130 <= size)
        text += std::string(128, letter) + "\r\n";
    if (text.size() + 2 < size) text += std::string(size - text.size() - 2, letter) + "\r\n";
    return text;
}

} // namespace

TEST(NNTPReadAhead, AnswersJoinedInOneReadStayApart) {
    const std::string first = "Subject: one\r\n\r\nfirst\r\n";
    const std::string second = "Subject: two\r\n\r\nsecond\r\n";
    std::vector<std::string> commands;
    ScriptedServer server([&](int fd) {
        ScriptedServer::sendText(fd, kGreeting);
        if (!readCommand(fd, commands)) return;
        // The refusal, the next command's whole answer and the start of the one after
        // it leave in one write.
        ScriptedServer::sendText(fd, "430 no such article\r\n220 0 <b@t>\r\n" + first +
                                         ".\r\n220 0 <c@t>\r\nSubj");
        if (!readCommand(fd, commands) || !readCommand(fd, commands)) return;
        ScriptedServer::sendText(fd, second.substr(4) + ".\r\n");
        if (!readCommand(fd, commands)) return;
        ScriptedServer::sendText(fd, "423 gone\r\n");
        readCommand(fd, commands); // QUIT
    });
    cTCPclientNNTP client;
    aimAt(client, server.port(), 10);
    std::string data = "stale";
    EXPECT_EQ(client.article("a@t", &data), 430);
    EXPECT_EQ(std::string(client.cresp()), "430 no such article\r");
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(client.article("b@t", &data), 200);
    EXPECT_EQ(data, first + ".\r\n");
    EXPECT_EQ(client.article("c@t", &data), 200);
    EXPECT_EQ(data, second + ".\r\n");
    EXPECT_EQ(client.article("d@t", &data), 423);
    EXPECT_EQ(std::string(client.cresp()), "423 gone\r");
    EXPECT_EQ(client.quit(), -1); // the server hung up without an answer
    EXPECT_EQ(commands, (std::vector<std::string>{"ARTICLE <a@t>", "ARTICLE <b@t>", "ARTICLE <c@t>",
                                                  "ARTICLE <d@t>", "QUIT"}));
}

TEST(NNTPReadAhead, ReusedTextTakesEachSizeExactly) {
    TempFolder spool("readahead");
    // Around the read-ahead size and the growth steps, up and down again.
    const size_t sizes[] = {400000,  20, 400000 + 5000, 16 * 1024 - 1, 16 * 1024, 16 * 1024 + 1,
                            1 << 20, 90, 1 << 20};
    for (size_t size : sizes)
        writeFile(spool.file(std::to_string(size) + "@t"), sizedArticle(size));
    TestNewsServerProcess server({"--spool", spool.path, "--lifetime", "120"});
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aimAt(client, server.port());
    std::string data;
    for (size_t size : sizes) {
        ASSERT_EQ(client.article((std::to_string(size) + "@t").c_str(), &data), 200) << size;
        EXPECT_EQ(data, sizedArticle(size) + ".\r\n") << size;
    }
}

TEST(NNTPReadAhead, StuffedLinesAreUnstuffedWhereverTheyFall) {
    TempFolder spool("unstuff");
    // Dot lines at every offset of a sixteen-byte stretch and beyond, runs of dots, dot
    // lines one after the other and as the article's last line.
    std::vector<std::string> texts;
    for (size_t lead = 0; lead < 40; ++lead) {
        std::string body = std::string(lead, 'x') + "\r\n.a\r\n..\r\n.\r\n...b.\r\n";
        body += std::string(lead % 17, 'y') + "\r\n.\r\n";
        texts.push_back("Subject: dots\r\n\r\n" + body);
    }
    for (size_t i = 0; i < texts.size(); ++i)
        writeFile(spool.file(std::to_string(i) + "@t"), texts[i]);
    TestNewsServerProcess server({"--spool", spool.path, "--lifetime", "120"});
    ASSERT_GT(server.port(), 0);
    cTCPclientNNTP client;
    aimAt(client, server.port());
    std::string data;
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(client.article((std::to_string(i) + "@t").c_str(), &data), 200) << i;
        EXPECT_EQ(data, texts[i] + ".\r\n") << i;
    }
}
