#include "updateHost.h"

#include <gtest/gtest.h>

TEST(UpdateHostTest, SchemeAndHostOrNothing) {
    struct Row {
        const char* configured;
        const char* base; // "": refused
    } rows[] = {
        {"updates.example.org", "http://updates.example.org"},
        {"127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"[::1]:8080", "http://[::1]:8080"},
        {"http://h", "http://h"},
        {"HTTPS://h:8443", "https://h:8443"},
        {"", ""},
        {"https://", ""},
        {"ftp://h", ""},
        {"h/evil?x=", ""},
        {"https://h/evil", ""},
        {"user@h", ""},
        {"a b", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(updateHostBase(row.configured), row.base) << row.configured;
}
