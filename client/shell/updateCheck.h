// Asking the update web host whether a newer version exists.
#pragma once
#include "cTCPclient.h"

#include <cstddef>
#include <functional>
#include <string>

// The longest a whole update check's request may take, whatever each read waits.
constexpr int kUpdateDeadlineSeconds = 60;

// GETs `url` ("http://host[:port]/path", port 80 when none, or "https://...", port 443
// when none, the server's certificate checked against the system's store; longer than
// 1023 characters is cut), with `extra` header lines. 1 when the body begins with a decimal
// number: then up to `size` characters of it are copied into `reply` (which holds
// size + 1) and terminated. 0 when not, when the host does not answer within
// `timeoutSeconds`, or when the whole request has not ended within `deadlineSeconds`
// (a log line then says so); -1 for a URL without '/', -2 for one without a path.
int updatecheck(const char* url, const char* extra, char* reply, size_t size,
                int timeoutSeconds = cTCPclient::kDefaultTimeout,
                int deadlineSeconds = kUpdateDeadlineSeconds);

// The update check behind the control command "h": reads the update host
// ("name[:port]", "http://name[:port]" or "https://name[:port]") from ./config.ini (DEFAULT, updatehost; absent or blank means
// no check), asks it, and on an update offers to open the download page, which `open`
// opens (the desktop opener when not given). Blocks for the fetch and the question.
void runupdate(const std::function<void(const std::string& url)>& open = {},
               int timeoutSeconds = cTCPclient::kDefaultTimeout,
               int deadlineSeconds = kUpdateDeadlineSeconds);
