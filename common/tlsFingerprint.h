// Certificate fingerprints as pins are written: "sha256:" and the SHA-256 digest of the
// certificate's DER form in lower-case hex.
#pragma once
#include <string>

typedef struct x509_st X509;

// The fingerprint of `certificate`, or "" when it cannot be taken.
std::string fingerprintOf(X509* certificate);
// The fingerprint of the first certificate of a PEM file, or "" when unreadable.
std::string fingerprintOfFile(const std::string& pemFile);
// A pin as a user may write it (any case, colons between the pairs) in the form above,
// or "" when it is not 64 hex digits after "sha256:".
std::string normalizeFingerprint(const std::string& pin);
