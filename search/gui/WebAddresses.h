// The maker's web addresses: program page, contact page, howto, version history and the
// host asked for updates. They are configuration chosen at installation, read from
// "./cfg/miravel.ini", section [web]; an address left out or blank stays empty, and an
// empty address is never opened or asked.
#pragma once
#include <string>

struct WebAddresses {
    static constexpr const char* CONFIG_FILE = "./cfg/miravel.ini";

    std::string homepage;
    std::string contact;
    std::string howto;
    std::string history;    // "History" opens this, else the program page
    std::string updatehost; // "name[:port]", "http://name[:port]" or "https://name[:port]"

    // Re-reads the file at every call; a missing file leaves every address empty.
    static WebAddresses load(const char* file = CONFIG_FILE);

    // The update question "http://<updatehost>/update.php?file=Miravel&version=3002"
    // (https when the host says so);
    // empty when no update host is configured.
    std::string updateUrl() const;
    // The page behind "History".
    const std::string& historyPage() const { return history.empty() ? homepage : history; }
};
