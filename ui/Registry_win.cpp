#include "ui/Registry_win.h"

#include <vector>

namespace {
std::string Relative(const std::string& Key) {
    size_t i = 0;
    while (i < Key.size() && Key[i] == '\\')
        ++i;
    return Key.substr(i);
}
}  // namespace

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    CloseKey();
    HKEY key = nullptr;
    LONG r = CanCreate ? RegCreateKeyExA(FRootKey, Relative(Key).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                         nullptr, &key, nullptr)
                       : RegOpenKeyExA(FRootKey, Relative(Key).c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (r != ERROR_SUCCESS) return false;
    FKey = key;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
    CloseKey();
    HKEY key = nullptr;
    if (RegOpenKeyExA(FRootKey, Relative(Key).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    FKey = key;
    return true;
}

void TRegistry::CloseKey() {
    if (FKey) RegCloseKey(FKey);
    FKey = nullptr;
}

bool TRegistry::ValueExists(const std::string& Name) const {
    return FKey && RegQueryValueExA(FKey, Name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool TRegistry::ReadString(const std::string& Name, std::string& Value) const {
    if (!FKey) return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(FKey, Name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::vector<char> buf(size + 1, '\0');
    if (RegQueryValueExA(FKey, Name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    buf[size] = '\0';
    Value = buf.data();
    return true;
}

bool TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    return FKey && RegSetValueExA(FKey, Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                                  static_cast<DWORD>(Value.size() + 1)) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const std::string& Name) {
    if (!FKey) return false;
    LONG r = RegDeleteValueA(FKey, Name.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}
