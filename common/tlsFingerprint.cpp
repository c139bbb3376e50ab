#include "tlsFingerprint.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdio>

namespace {

const char kPrefix[] = "sha256:";
const char kDigits[] = "0123456789abcdef";
const size_t kHexLength = 64;

} // namespace

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (!certificate || !X509_digest(certificate, EVP_sha256(), digest, &length)) return "";
    std::string text = kPrefix;
    for (unsigned i = 0; i < length; ++i) {
        text += kDigits[digest[i] >> 4];
        text += kDigits[digest[i] & 15];
    }
    return text;
}

std::string fingerprintOfFile(const std::string& pemFile) {
    FILE* file = fopen(pemFile.c_str(), "r");
    if (!file) return "";
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    fclose(file);
    std::string text = fingerprintOf(certificate);
    X509_free(certificate);
    return text;
}

std::string normalizeFingerprint(const std::string& pin) {
    const size_t prefixLength = sizeof kPrefix - 1;
    if (pin.size() < prefixLength) return "";
    for (size_t i = 0; i < prefixLength; ++i)
        if (tolower((unsigned char)pin[i]) != kPrefix[i]) return "";
    std::string hex;
    for (size_t i = prefixLength; i < pin.size(); ++i) {
        // A colon only between two pairs.
        if (pin[i] == ':' && hex.size() % 2 == 0 && pin[i - 1] != ':' && !hex.empty()) continue;
        if (!isxdigit((unsigned char)pin[i])) return "";
        hex += (char)tolower((unsigned char)pin[i]);
    }
    return hex.size() == kHexLength ? kPrefix + hex : "";
}
