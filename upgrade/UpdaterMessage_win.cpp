#include "upgrade/UpdaterMessage_win.h"

#include <windows.h>

namespace {

// Shared by every updater, as the wizard's language is one setting for the process.
TWizardLanguage gLanguage = wlAuto;

TWizardLanguage LanguageInForce() {
    if (gLanguage == wlAuto) SetUpdaterLanguage(wlAuto);
    return gLanguage;
}

}  // namespace

void SetUpdaterLanguage(TWizardLanguage Language) {
    gLanguage = ResolveWizardLanguage(Language, GetSystemDefaultLangID());
}

TWizardLanguage UpdaterLanguage() { return LanguageInForce(); }

std::wstring UpdaterMessageW(TWizardLanguage Language, int Index) {
    if (Index < 0 || Index >= UpdaterMessageCount) return std::wstring();
    // A zero buffer size hands back the resource's own read-only text, so no message is cut
    // at a guessed length.
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(GetModuleHandleW(nullptr),
                    UpdaterMessageBase(ResolveWizardLanguage(Language, GetSystemDefaultLangID())) + Index,
                    reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::wstring();
    return std::wstring(text, length);
}

std::wstring UpdaterMessageW(int Index) { return UpdaterMessageW(LanguageInForce(), Index); }

std::string UpdaterMessage(int Index) {
    const std::wstring wide = UpdaterMessageW(Index);
    if (wide.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string text(size, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size, nullptr,
                        nullptr);
    return text;
}
