#include "ui/Registry_win.h"

#include <vector>

#include "base/StrUtils.h"

namespace {
std::string Relative(const std::string& Key) {
    size_t i = 0;
    while (i < Key.size() && Key[i] == '\\')
        ++i;
    return Key.substr(i);
}
}  // namespace

bool TRegistry::Check(LONG R) {
    if (R != ERROR_SUCCESS) FLastError = R;
    return R == ERROR_SUCCESS;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    CloseKey();
    HKEY key = nullptr;
    LONG r = CanCreate ? RegCreateKeyExA(FRootKey, Relative(Key).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                         nullptr, &key, nullptr)
                       : RegOpenKeyExA(FRootKey, Relative(Key).c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (!Check(r)) return false;
    FKey = key;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& Key) {
    CloseKey();
    HKEY key = nullptr;
    if (!Check(RegOpenKeyExA(FRootKey, Relative(Key).c_str(), 0, KEY_READ, &key))) return false;
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
    if (!FKey) return Check(ERROR_INVALID_HANDLE);
    return Check(RegSetValueExA(FKey, Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                                static_cast<DWORD>(Value.size() + 1)));
}

bool TRegistry::DeleteValue(const std::string& Name) {
    if (!FKey) return Check(ERROR_INVALID_HANDLE);
    LONG r = RegDeleteValueA(FKey, Name.c_str());
    return r == ERROR_FILE_NOT_FOUND || Check(r);
}

std::string TRegistry::LastErrorText() const {
    char buf[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(FLastError), 0, buf, sizeof(buf), nullptr);
    std::string text = Trim(std::string(buf, n));
    return text.empty() ? Format("error %ld", static_cast<long>(FLastError)) : text;
}
