#include "profile.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION // Debian ships the template bodies behind this switch
#include <SimpleIni.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace profile {
namespace {

// Writers load, change and save the whole file; one lock keeps two threads of the
// process from losing each other's keys.
std::mutex& fileLock() {
    static std::mutex lock;
    return lock;
}

void loadFile(CSimpleIniA& ini, const char* file) {
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false); // "key=value", as the classic profile files are written
    ini.LoadFile(file); // a missing file reads as empty
}

} // namespace

std::vector<std::string> sections(const char* file) {
    std::lock_guard<std::mutex> guard(fileLock());
    CSimpleIniA ini(false, false, false);
    loadFile(ini, file);
    CSimpleIniA::TNamesDepend names;
    ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& name : names)
        out.emplace_back(name.pItem);
    return out;
}

std::string getString(const char* section, const char* key, const char* def, const char* file) {
    std::lock_guard<std::mutex> guard(fileLock());
    CSimpleIniA ini(false, false, false);
    loadFile(ini, file);
    const char* value = ini.GetValue(section, key, nullptr);
    if (!value) return def ? def : "";
    return value;
}

int getString(const char* section, const char* key, const char* def, char* out, size_t size,
              const char* file) {
    if (!out || size == 0) return 0;
    std::string value = getString(section, key, def, file);
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    memcpy(out, value.data(), n);
    out[n] = 0;
    return (int)n;
}

int getInt(const char* section, const char* key, int def, const char* file) {
    std::lock_guard<std::mutex> guard(fileLock());
    CSimpleIniA ini(false, false, false);
    loadFile(ini, file);
    const char* value = ini.GetValue(section, key, nullptr);
    if (!value) return def;
    return (int)strtol(value, nullptr, 10);
}

bool writeString(const char* section, const char* key, const char* value, const char* file) {
    std::lock_guard<std::mutex> guard(fileLock());
    CSimpleIniA ini(false, false, false);
    loadFile(ini, file);
    if (!key)
        ini.Delete(section, nullptr, true);
    else if (!value)
        ini.Delete(section, key, true);
    else
        ini.SetValue(section, key, value);
    return ini.SaveFile(file, false) == SI_OK;
}

bool writeInt(const char* section, const char* key, int value, const char* file) {
    return writeString(section, key, std::to_string(value).c_str(), file);
}

bool getStruct(const char* section, const char* key, void* data, size_t size, const char* file) {
    std::string text = getString(section, key, "", file);
    if (text.size() != 2 * size + 2) return false;
    std::string bytes(size, '\0');
    unsigned sum = 0;
    for (size_t i = 0; i <= size; i++) {
        char hex[3] = {text[2 * i], text[2 * i + 1], 0};
        char* end = nullptr;
        unsigned long b = strtoul(hex, &end, 16);
        if (end != hex + 2) return false;
        if (i < size) {
            bytes[i] = (char)b;
            sum += (unsigned)b;
        } else if ((sum & 0xff) != b) {
            return false;
        }
    }
    memcpy(data, bytes.data(), size);
    return true;
}

bool writeStruct(const char* section, const char* key, const void* data, size_t size,
                 const char* file) {
    static const char digits[] = "0123456789ABCDEF";
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::string text;
    unsigned sum = 0;
    for (size_t i = 0; i < size; i++) {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 15];
        sum += p[i];
    }
    text += digits[(sum >> 4) & 15];
    text += digits[sum & 15];
    return writeString(section, key, text.c_str(), file);
}

} // namespace profile
