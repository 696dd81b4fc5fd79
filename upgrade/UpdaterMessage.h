#pragma once
// The self-update's messages: which language speaks, and where each message lives. Every
// language holds the same messages at its own block of string resource ids.
#include <cstdint>
#include <string>
#include <vector>

// The wizard's languages; wlAuto follows the system's language.
enum TWizardLanguage : int {
    wlAuto,
    wlEnglish,
    wlRussian,
    wlGerman,
    wlFrench,
    wlSpanish,
    wlPortuguese,
    wlPortugueseBrazilian,
    wlItalian,
    wlDutch,
    wlDanish,
    wlSwedish,
    wlFinnish,
    wlEstonian,
    wlUkrainian,
    wlPolish,
    wlCzech,
    wlHungarian,
    wlRomanian,
    wlCatalan,
    wlBasque,
    wlAfrikaans,
    wlChineseTraditional,
    wlChineseSimplified,
    wlIndonesian,
    wlMalay,
    wlIcelandic,
};
constexpr int UpdaterLanguageCount = wlIcelandic;  // wlEnglish to wlIcelandic

// The messages, by their index in every language's block. The comments name the arguments,
// in order, of those that are printf patterns.
enum TUpdaterMessage {
    umWizardCaption,  // also the caption of the question and of every error box
    umDownloadingFiles,
    umUpgradeCompleted,
    umCurrentFile,
    umAllFiles,
    umDownloadingFrom,
    umFileSize,         // double: size in Kb
    umTransferRate,     // double: Kb/s
    umTimeLeft,         // int hours, int minutes, int seconds
    umDownloadingNofM,  // int file number from 1, int count
    umUpdateDone,       // const char* application title
    umEnterPassword,
    umUserName,
    umPassword,
    umYes,
    umNo,
    umOK,
    umCancel,
    umNext,
    umLater,
    umWarning,
    umError,
    umPreparing,
    umNewerVersion,  // const char* application title, const char* publisher's message
    umNoUpdate,
    umNoInfoFile,
    umHostUnreachable,  // const char* "http://" and host
    umAbortQuestion,
    umFileNotFound,       // const char* file
    umPasswordProtected,  // const char* file name
    umConnectionLost,
};
constexpr int UpdaterMessageCount = umConnectionLost + 1;

// Language n owns the ids FirstUpdaterMessageId + (n - 1) * UpdaterMessageStride + k.
constexpr int FirstUpdaterMessageId = 41000;
constexpr int UpdaterMessageStride = 50;

// The language that speaks: Language itself unless it is wlAuto (or out of range), else the
// one matching the system's language identifier, English when none does.
TWizardLanguage ResolveWizardLanguage(TWizardLanguage Language, uint16_t SystemLangId);
// The first id of a language's block; wlAuto and values out of range give English's.
int UpdaterMessageBase(TWizardLanguage Language);

// The printf conversions of a message in order ("%s", "%.1f", ...), "%%" left out: every
// translation must carry the same ones as English, or formatting it would read the wrong
// arguments.
std::vector<std::string> MessagePlaceholders(const std::string& Text);
