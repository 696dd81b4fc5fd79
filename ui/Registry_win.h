#pragma once
// One open registry key at a time under a root key, with string values.
#include <windows.h>

#include <string>

#include "base/Events.h"

class TRegistry : public TObject {
public:
    explicit TRegistry(HKEY RootKey = HKEY_CURRENT_USER) : FRootKey(RootKey) {}
    ~TRegistry() override { CloseKey(); }

    // Opens a key for reading and writing, creating it when asked; false when it fails.
    bool OpenKey(const std::string& Key, bool CanCreate);
    bool OpenKeyReadOnly(const std::string& Key);
    void CloseKey();
    bool ValueExists(const std::string& Name) const;
    // False when the value is missing or is not text.
    bool ReadString(const std::string& Name, std::string& Value) const;
    bool WriteString(const std::string& Name, const std::string& Value);
    // A missing value counts as deleted.
    bool DeleteValue(const std::string& Name);
    HKEY CurrentKey() const { return FKey; }
    // The system's text for the last call that failed, for messages.
    std::string LastErrorText() const;

private:
    // Remembers R when it is a failure; true on success.
    bool Check(LONG R);
    HKEY FRootKey;
    HKEY FKey = nullptr;
    LONG FLastError = ERROR_SUCCESS;
};
