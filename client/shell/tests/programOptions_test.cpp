// The options of the corvane command line, taken out before the words become a message.
#include "programOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

tprogramOptions parse(std::vector<const char*> words) {
    words.insert(words.begin(), "corvane");
    return parseProgramOptions((int)words.size(), const_cast<char**>(words.data()));
}

TEST(ProgramOptions, OptionsAreTakenOutAndWordsKeepTheirOrder) {
    tprogramOptions options = parse({"l", "--no-window", "a b.nzb", "-", "r"});
    EXPECT_TRUE(options.noWindow);
    EXPECT_EQ(options.arguments, (std::vector<std::string>{"l", "a b.nzb", "-", "r"}));
    EXPECT_EQ(options.error, "");

    // After "--" a word beginning with "-" is a file like any other.
    options = parse({"--", "-odd.nzb", "--help"});
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.arguments, (std::vector<std::string>{"-odd.nzb", "--help"}));

    options = parse({"x", "-h"});
    EXPECT_TRUE(options.help);
    EXPECT_EQ(parse({"--version"}).version, true);
}

TEST(ProgramOptions, TheFirstUnknownOptionIsNamedInOneLine) {
    tprogramOptions options = parse({"--helpme", "-x", "g"});
    EXPECT_EQ(options.error, "unknown option --helpme (corvane --help lists the options)");
    EXPECT_EQ(parse({"--no-window=1"}).error,
              "unknown option --no-window=1 (corvane --help lists the options)");
}

} // namespace
