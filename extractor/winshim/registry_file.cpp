// The registry as a REGEDIT4 text file, for systems without one:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Orvo\AshenThrone]
//   @="/path/to/output"
//
// Key names compare without regard to case; in values \\ stands for \ and
// \" for ". Only string values are read.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <orvobf/platform.h>
#include "windows_shim.h"

struct ShimKey {
    bool hasDefault = false;
    std::string value;
};

const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));

namespace {
std::string RegistryPath() {
    if (const char* path = std::getenv("ORVOBF_REGISTRY")) return path;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/orvobf/registry.reg";
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// A quoted REGEDIT4 string; false when it is not one.
bool Unquote(const std::string& s, std::string& out) {
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
    out.clear();
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == '\\' && i + 2 < s.size()) ++i;
        out += s[i];
    }
    return true;
}
}  // namespace

LONG RegOpenKeyA(HKEY parent, LPCSTR subKey, HKEY* result) {
    if (!result || !subKey || parent != HKEY_LOCAL_MACHINE) return ERROR_FILE_NOT_FOUND;
    std::ifstream in(RegistryPath());
    if (!in) return ERROR_FILE_NOT_FOUND;
    const std::string wanted = std::string("HKEY_LOCAL_MACHINE\\") + subKey;
    bool found = false, inKey = false;
    ShimKey key;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (!line.empty() && line.front() == '[' && line.back() == ']') {
            inKey = orvobf::platform::StrICmp(line.substr(1, line.size() - 2).c_str(), wanted.c_str()) == 0;
            found = found || inKey;
        } else if (inKey && line.rfind("@=", 0) == 0) {
            key.hasDefault = Unquote(Trim(line.substr(2)), key.value);
        }
    }
    if (!found) return ERROR_FILE_NOT_FOUND;
    *result = new ShimKey(key);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD*, DWORD* type, unsigned char* data, DWORD* size) {
    if (!key || (name && *name) || !key->hasDefault) return ERROR_FILE_NOT_FOUND;
    if (type) *type = 1;  // a string
    const DWORD needed = static_cast<DWORD>(key->value.size() + 1);
    if (!size) return ERROR_SUCCESS;
    if (!data || *size < needed) {
        *size = needed;
        return data ? ERROR_MORE_DATA : ERROR_SUCCESS;
    }
    std::memcpy(data, key->value.c_str(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key != HKEY_LOCAL_MACHINE) delete key;
    return ERROR_SUCCESS;
}
