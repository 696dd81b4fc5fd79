// The self-update's messages read through their resource ids from the string tables this
// test program links, as the program links them.
#include <gtest/gtest.h>

#include <windows.h>

#include "upgrade/UpdaterMessage_win.h"

namespace {

// The Windows ANSI code page of each language: an ANSI program on that language's Windows
// shows a message right only when every character of it exists there.
const struct {
    TWizardLanguage Language;
    UINT CodePage;
} kLanguages[] = {
    {wlEnglish, 1252},
    {wlRussian, 1251},
    {wlGerman, 1252},
    {wlFrench, 1252},
    {wlSpanish, 1252},
    {wlPortuguese, 1252},
    {wlPortugueseBrazilian, 1252},
    {wlItalian, 1252},
    {wlDutch, 1252},
    {wlDanish, 1252},
    {wlSwedish, 1252},
    {wlFinnish, 1252},
    {wlEstonian, 1257},
    {wlUkrainian, 1251},
    {wlPolish, 1250},
    {wlCzech, 1250},
    {wlHungarian, 1250},
    {wlRomanian, 1250},
    {wlCatalan, 1252},
    {wlBasque, 1252},
    {wlAfrikaans, 1252},
    {wlChineseTraditional, 950},
    {wlChineseSimplified, 936},
    {wlIndonesian, 1252},
    {wlMalay, 1252},
    {wlIcelandic, 1252},
};

std::string Narrow(const std::wstring& Text, UINT CodePage, bool* Lost) {
    BOOL usedDefault = FALSE;
    const bool utf8 = CodePage == CP_UTF8;
    const int size = WideCharToMultiByte(CodePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, Text.data(),
                                         static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CodePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, Text.data(), static_cast<int>(Text.size()),
                        &out[0], size, nullptr, utf8 ? nullptr : &usedDefault);
    if (Lost != nullptr) *Lost = usedDefault != FALSE;
    return out;
}

TEST(UpdaterMessageTable, EveryLanguageHasEveryMessageWithEnglishPlaceholders) {
    ASSERT_EQ(std::size(kLanguages), static_cast<size_t>(UpdaterLanguageCount));
    for (const auto& lang : kLanguages) {
        for (int k = 0; k < UpdaterMessageCount; ++k) {
            const std::wstring text = UpdaterMessageW(lang.Language, k);
            EXPECT_FALSE(text.empty()) << "language " << lang.Language << " message " << k;
            const std::string utf8 = Narrow(text, CP_UTF8, nullptr);
            EXPECT_EQ(MessagePlaceholders(utf8),
                      MessagePlaceholders(Narrow(UpdaterMessageW(wlEnglish, k), CP_UTF8, nullptr)))
                << "language " << lang.Language << " message " << k << ": " << utf8;
            // Also catches a table that the resource compiler read in the wrong encoding.
            bool lost = false;
            Narrow(text, lang.CodePage, &lost);
            EXPECT_FALSE(lost) << "language " << lang.Language << " message " << k << " outside code page "
                               << lang.CodePage << ": " << utf8;
        }
        EXPECT_TRUE(UpdaterMessageW(lang.Language, -1).empty());
        EXPECT_TRUE(UpdaterMessageW(lang.Language, UpdaterMessageCount).empty());
    }
}

TEST(UpdaterMessageTable, TheLanguageSetSpeaksForEveryReader) {
    int ansiLanguages = 0;
    for (const auto& lang : kLanguages) {
        SetUpdaterLanguage(lang.Language);
        EXPECT_EQ(UpdaterLanguage(), lang.Language);
        EXPECT_EQ(UpdaterMessageW(umWizardCaption), UpdaterMessageW(lang.Language, umWizardCaption));
        // Where the ANSI code page holds the language, the ANSI text reads back as stored.
        if (lang.CodePage != GetACP()) continue;
        ++ansiLanguages;
        for (int k = 0; k < UpdaterMessageCount; ++k) {
            const std::string ansi = UpdaterMessage(k);
            std::wstring back(ansi.size(), L'\0');
            back.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &back[0],
                                            static_cast<int>(back.size())));
            EXPECT_EQ(back, UpdaterMessageW(k)) << "language " << lang.Language << " message " << k;
        }
    }
    EXPECT_GT(ansiLanguages, 0) << "no language in code page " << GetACP();
    SetUpdaterLanguage(wlAuto);
    EXPECT_EQ(UpdaterLanguage(), ResolveWizardLanguage(wlAuto, GetSystemDefaultLangID()));
    EXPECT_TRUE(UpdaterMessage(UpdaterMessageCount).empty());
}

}  // namespace
