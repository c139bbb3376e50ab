// Loopback Newznab indexers for the tests: one HTTPS test web server per indexer, each
// serving the answers of tests/fixtures/web/newznab with its own address and API key
// written in, and a section per indexer appended to the search tool's cfg/engines.ini.
// Besides the fixtures each serves a 150-item answer in two pages (q=many, offsets 0
// and 100).
#pragma once
#include "TestFolders.h"
#include "TestWebServerProcess.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

class NewznabIndexers {
  public:
    static constexpr const char* FIXTURES = CORV_SOURCE_DIR "/tests/fixtures/web/newznab";
    static constexpr int MANY_ITEMS = 150;

    struct Indexer {
        std::string name, key, host, folder;
        std::unique_ptr<TestWebServerProcess> server;
        std::string requestLog() const { return folder + ".log"; }
    };

    // Starts one indexer per name in `home`/<name> (key "<name>key0123456789abcdef") and
    // appends their sections to `home`/cfg/engines.ini (the cfg folder must exist).
    NewznabIndexers(const std::string& home, const std::vector<std::string>& names,
                    const std::string& certificate, const std::string& certificateKey) {
        std::ofstream ini(home + "/cfg/engines.ini", std::ios::app);
        for (const std::string& name : names) {
            auto indexer = std::make_unique<Indexer>();
            indexer->name = name;
            indexer->key = name + "key0123456789abcdef";
            indexer->folder = home + "/" + name;
            std::filesystem::create_directories(indexer->folder);
            writeTemplated("routes.txt", *indexer);
            indexer->server = std::make_unique<TestWebServerProcess>(std::vector<std::string>{
                "--root", indexer->folder, "--routes", indexer->folder + "/routes.txt", "--log",
                indexer->requestLog(), "--lifetime", "120", "--tls", certificate, certificateKey});
            indexer->host = "https://localhost:" + std::to_string(indexer->server->port());
            for (const char* file :
                 {"search.xml", "error.xml", "empty.xml", "billion.xml", "external.xml", "sql.xml"})
                writeTemplated(file, *indexer);
            writeManyPages(*indexer);
            std::filesystem::copy_file(std::string(CORV_SOURCE_DIR) +
                                           "/tests/fixtures/web/binsearch/answer.nzb",
                                       indexer->folder + "/answer.nzb");
            ini << "[" << name << "]\nplugin=newznab\nhost=" << indexer->host
                << "\napikey=" << indexer->key << "\n";
            indexers.push_back(std::move(indexer));
        }
    }

    bool started() const {
        for (const auto& indexer : indexers)
            if (indexer->server->port() <= 0) return false;
        return true;
    }
    const Indexer& operator[](size_t i) const { return *indexers[i]; }

    // The NZB every indexer serves through the first search item's enclosure.
    static std::string answerNzb() {
        return readFile(std::string(CORV_SOURCE_DIR) + "/tests/fixtures/web/binsearch/answer.nzb");
    }

  private:
    static std::string replaced(std::string text, const std::string& mark,
                                const std::string& value) {
        for (size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
        return text;
    }
    static void writeTemplated(const char* file, const Indexer& indexer) {
        const std::string text = readFile(std::string(FIXTURES) + "/" + file);
        writeFile(indexer.folder + "/" + file,
                  replaced(replaced(text, "@HOST@", indexer.host), "@KEY@", indexer.key));
    }
    static void writeManyPages(const Indexer& indexer) {
        for (int page = 0; page * 100 < MANY_ITEMS; ++page) {
            std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\" "
                              "xmlns:newznab=\"http://www.newznab.com/DTD/2010/feeds/attributes/\">"
                              "<channel><newznab:response offset=\"" +
                              std::to_string(page * 100) + "\" total=\"" +
                              std::to_string(MANY_ITEMS) + "\"/>\n";
            for (int item = page * 100; item < MANY_ITEMS && item < (page + 1) * 100; ++item) {
                const std::string id = "many" + std::to_string(item);
                xml += "<item><title>Many item " + std::to_string(item) + "</title><guid>" + id +
                       "</guid><enclosure url=\"" + indexer.host + "/getnzb/" + id +
                       ".nzb&amp;r=" + indexer.key +
                       "\" length=\"1048576\" type=\"application/x-nzb\"/></item>\n";
            }
            writeFile(indexer.folder + "/page" + std::to_string(page) + ".xml",
                      xml + "</channel></rss>\n");
        }
    }

    std::vector<std::unique_ptr<Indexer>> indexers;
};
