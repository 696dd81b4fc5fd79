#pragma once
// Reading the self-update's messages from the program's string tables, in the language in
// force: one choice for the whole process, made again whenever the wizard's language is set.
#include <string>

#include "upgrade/UpdaterMessage.h"

// Resolves wlAuto through the system's default language; until first called, the messages
// speak as with wlAuto.
void SetUpdaterLanguage(TWizardLanguage Language);
// The language the messages speak now (never wlAuto).
TWizardLanguage UpdaterLanguage();

// Message Index of the language in force, in the ANSI code page (as every caption of the
// program); "" when Index is out of range or the table lacks it.
std::string UpdaterMessage(int Index);
// The same text as stored, for windows that can show every script whatever the code page.
std::wstring UpdaterMessageW(int Index);
// Any language's message (wlAuto: the system's) straight from its id block; "" when absent.
std::wstring UpdaterMessageW(TWizardLanguage Language, int Index);
