// The running instance's answer to one control message: empty when the message was
// handled, else the one line that says why it could not be (an NZB that yields no
// files). The messenger ends its sending side after the message, so the instance knows
// the message is whole, and reads the answer until the instance closes the connection.
#pragma once
#include <string>

// Sends `reply` on `connection`; nothing when it is empty.
void sendReply(int connection, const std::string& reply);

// Ends the sending side of `socket` and reads the answer, at most MAX_MESSAGE bytes.
// Waits as long as the largest import may take, and no longer.
std::string awaitReply(int socket);
