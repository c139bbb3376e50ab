// Profile (INI file) access with the meaning of the classic private-profile calls:
// the file is re-read at every call, section and key names compare without case,
// a key present but blank reads as empty, an absent key reads as the default.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace profile {

// The names of the file's sections in the order they are written; empty for a missing
// file.
std::vector<std::string> sections(const char* file);

// Copies the value (or `def` when the key is absent) into `out`, cut to `size`-1
// characters and zero-terminated. Returns the number of characters copied.
int getString(const char* section, const char* key, const char* def, char* out, size_t size,
              const char* file);
std::string getString(const char* section, const char* key, const char* def, const char* file);

// The leading decimal number of the value; `def` when the key is absent, 0 when the
// value does not start with a number.
int getInt(const char* section, const char* key, int def, const char* file);

// Writes one key, creating file and section as needed. A null `value` removes the key,
// a null `key` removes the whole section. Returns false when the file cannot be written.
bool writeString(const char* section, const char* key, const char* value, const char* file);
bool writeInt(const char* section, const char* key, int value, const char* file);

// Binary structures as hex digits followed by a one-byte checksum (sum of the bytes
// modulo 256) as two more hex digits. getStruct fails, leaving `data` untouched, when
// the key is absent, the length differs or the checksum does not match.
bool getStruct(const char* section, const char* key, void* data, size_t size, const char* file);
bool writeStruct(const char* section, const char* key, const void* data, size_t size,
                 const char* file);

} // namespace profile
