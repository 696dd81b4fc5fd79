// The self-update's language choice, its id blocks and the placeholder scan.
#include <gtest/gtest.h>

#include "upgrade/UpdaterMessage.h"

namespace {

TEST(UpdaterLanguage, AutoFollowsTheSystemLanguageSetOneStays) {
    const struct {
        TWizardLanguage Set;
        uint16_t LangId;
        TWizardLanguage Expected;
    } cases[] = {
        {wlAuto, 0x0409, wlEnglish},
        {wlAuto, 0x0809, wlEnglish},
        {wlAuto, 0x0419, wlRussian},
        {wlAuto, 0x0407, wlGerman},
        {wlAuto, 0x0C07, wlGerman},
        {wlAuto, 0x040C, wlFrench},
        {wlAuto, 0x080C, wlFrench},
        {wlAuto, 0x0C0A, wlSpanish},
        // Portuguese: only sub-language 1 is Brazil.
        {wlAuto, 0x0416, wlPortugueseBrazilian},
        {wlAuto, 0x0816, wlPortuguese},
        {wlAuto, 0x0016, wlPortuguese},
        {wlAuto, 0x0410, wlItalian},
        {wlAuto, 0x0413, wlDutch},
        {wlAuto, 0x0813, wlDutch},
        {wlAuto, 0x0406, wlDanish},
        {wlAuto, 0x041D, wlSwedish},
        {wlAuto, 0x040B, wlFinnish},
        {wlAuto, 0x0425, wlEstonian},
        {wlAuto, 0x0422, wlUkrainian},
        {wlAuto, 0x0415, wlPolish},
        {wlAuto, 0x0405, wlCzech},
        {wlAuto, 0x040E, wlHungarian},
        {wlAuto, 0x0418, wlRomanian},
        {wlAuto, 0x0403, wlCatalan},
        {wlAuto, 0x042D, wlBasque},
        {wlAuto, 0x0436, wlAfrikaans},
        // Chinese: only sub-language 2 (the People's Republic) is simplified.
        {wlAuto, 0x0804, wlChineseSimplified},
        {wlAuto, 0x0404, wlChineseTraditional},
        {wlAuto, 0x0C04, wlChineseTraditional},
        {wlAuto, 0x1004, wlChineseTraditional},
        {wlAuto, 0x0421, wlIndonesian},
        {wlAuto, 0x043E, wlMalay},
        {wlAuto, 0x040F, wlIcelandic},
        // No match, or no language at all, speaks English.
        {wlAuto, 0x0411, wlEnglish},
        {wlAuto, 0x0000, wlEnglish},
        {wlAuto, 0xFFFF, wlEnglish},
        // A set language ignores the system's; a value out of range acts as wlAuto.
        {wlGerman, 0x0419, wlGerman},
        {wlIcelandic, 0x0409, wlIcelandic},
        {wlEnglish, 0x0804, wlEnglish},
        {static_cast<TWizardLanguage>(UpdaterLanguageCount + 1), 0x0419, wlRussian},
        {static_cast<TWizardLanguage>(-1), 0x040C, wlFrench},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveWizardLanguage(c.Set, c.LangId), c.Expected)
            << c.Set << " 0x" << std::hex << c.LangId;
}

TEST(UpdaterLanguage, EachLanguageOwnsItsBlockOfIds) {
    const struct {
        TWizardLanguage Language;
        int Base;
    } cases[] = {
        {wlEnglish, 41000},
        {wlRussian, 41050},
        {wlPortugueseBrazilian, 41300},
        {wlChineseTraditional, 42050},
        {wlChineseSimplified, 42100},
        {wlIcelandic, 42250},
        // No block of its own: English's.
        {wlAuto, 41000},
        {static_cast<TWizardLanguage>(UpdaterLanguageCount + 1), 41000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdaterMessageBase(c.Language), c.Base) << c.Language;
    // Every message of a block stays clear of the next block.
    EXPECT_LE(UpdaterMessageCount, UpdaterMessageStride);
}

TEST(UpdaterMessagePlaceholders, ConversionsInOrder) {
    using List = std::vector<std::string>;
    const struct {
        const char* Text;
        List Expected;
    } cases[] = {
        {"", {}},
        {"no conversion", {}},
        {"File size: %.1f Kb", {"%.1f"}},
        {"%d:%.2d:%.2d", {"%d", "%.2d", "%.2d"}},
        {"Host %s unreachable, %-8s", {"%s", "%-8s"}},
        {"100%% done %d", {"%d"}},
        // A stray "%" counts, so a translation cannot carry one that English does not.
        {"50 %", {"%"}},
        {"%% %", {"%"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessagePlaceholders(c.Text), c.Expected) << c.Text;
}

}  // namespace
