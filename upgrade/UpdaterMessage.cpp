#include "upgrade/UpdaterMessage.h"

#include <cstring>

namespace {

// Primary language ids, in the order the first match wins; both Portuguese and both Chinese
// are told apart by the sub-language before this table is read.
const struct {
    uint16_t Primary;
    TWizardLanguage Language;
} kPrimaryLanguages[] = {
    {0x09, wlEnglish},  {0x19, wlRussian},   {0x07, wlGerman}, {0x0C, wlFrench},    {0x0A, wlSpanish},
    {0x10, wlItalian},  {0x13, wlDutch},     {0x06, wlDanish}, {0x1D, wlSwedish},   {0x0B, wlFinnish},
    {0x25, wlEstonian}, {0x22, wlUkrainian}, {0x15, wlPolish}, {0x05, wlCzech},     {0x0E, wlHungarian},
    {0x18, wlRomanian}, {0x03, wlCatalan},   {0x2D, wlBasque}, {0x36, wlAfrikaans}, {0x21, wlIndonesian},
    {0x3E, wlMalay},    {0x0F, wlIcelandic},
};

bool IsConcrete(TWizardLanguage Language) { return Language >= wlEnglish && Language <= wlIcelandic; }

}  // namespace

TWizardLanguage ResolveWizardLanguage(TWizardLanguage Language, uint16_t SystemLangId) {
    if (IsConcrete(Language)) return Language;
    const uint16_t primary = SystemLangId & 0x3FF;
    const uint16_t sub = SystemLangId >> 10;
    if (primary == 0x16) return sub == 1 ? wlPortugueseBrazilian : wlPortuguese;
    if (primary == 0x04) return sub == 2 ? wlChineseSimplified : wlChineseTraditional;
    for (const auto& entry : kPrimaryLanguages)
        if (entry.Primary == primary) return entry.Language;
    return wlEnglish;
}

int UpdaterMessageBase(TWizardLanguage Language) {
    const int n = IsConcrete(Language) ? Language : wlEnglish;
    return FirstUpdaterMessageId + (n - 1) * UpdaterMessageStride;
}

std::vector<std::string> MessagePlaceholders(const std::string& Text) {
    std::vector<std::string> found;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '%') continue;
        if (i + 1 < Text.size() && Text[i + 1] == '%') {
            ++i;
            continue;
        }
        // Flags, width and precision up to the conversion letter; a lone "%" at the end is
        // kept as it is, so that a translation cannot hide one.
        size_t end = i + 1;
        while (end < Text.size() && std::strchr("-+ #0123456789.", Text[end]) != nullptr)
            ++end;
        if (end < Text.size()) ++end;
        found.push_back(Text.substr(i, end - i));
        i = end - 1;
    }
    return found;
}
