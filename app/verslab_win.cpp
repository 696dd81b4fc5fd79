#include "app/verslab_win.h"

#include <windows.h>

#include "ui/ScopedHandles_win.h"
#include "ui/VersionInfo_win.h"

namespace {

std::string LocaleText(LCTYPE Type, const std::string& Default) {
    char buf[128];
    int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, Type, buf, sizeof(buf));
    return n > 1 ? std::string(buf, static_cast<size_t>(n - 1)) : Default;
}

// The file opened for reading while others may read it too; empty when it cannot be.
TKernelHandle OpenForReading(const std::string& FileName) {
    return TKernelHandle(CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

const char* const NoFileHandle = "<Error getting file handle>";

std::string FileDateText(const std::string& FileName, const std::string& Picture) {
    TKernelHandle file = OpenForReading(FileName);
    FILETIME written, local;
    SYSTEMTIME t;
    if (!file || !GetFileTime(file.Get(), nullptr, nullptr, &written) ||
        !FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &t))
        return NoFileHandle;
    TDateTimeFields when;
    when.Year = t.wYear;
    when.Month = t.wMonth;
    when.Day = t.wDay;
    when.DayOfWeek = t.wDayOfWeek;
    when.Hour = t.wHour;
    when.Minute = t.wMinute;
    when.Second = t.wSecond;
    when.Millisecond = t.wMilliseconds;
    return FormatDateTime(Picture, when, LocaleFormatSettings());
}

std::string FileSizeText(const std::string& FileName, const std::string& Picture) {
    TKernelHandle file = OpenForReading(FileName);
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) return NoFileHandle;
    return FormatNumber(Picture, size.QuadPart, LocaleFormatSettings());
}

}  // namespace

TFormatSettings LocaleFormatSettings() {
    TFormatSettings s;
    s.ThousandSeparator = LocaleText(LOCALE_STHOUSAND, s.ThousandSeparator);
    s.DecimalSeparator = LocaleText(LOCALE_SDECIMAL, s.DecimalSeparator);
    s.DateSeparator = LocaleText(LOCALE_SDATE, s.DateSeparator);
    s.TimeSeparator = LocaleText(LOCALE_STIME, s.TimeSeparator);
    s.ShortDateFormat = LocaleText(LOCALE_SSHORTDATE, s.ShortDateFormat);
    s.LongDateFormat = LocaleText(LOCALE_SLONGDATE, s.LongDateFormat);
    s.TimeAMString = LocaleText(LOCALE_S1159, s.TimeAMString);
    s.TimePMString = LocaleText(LOCALE_S2359, s.TimePMString);
    // The locale's time pictures use letters of their own; build ours from its clock.
    const bool twelveHour = LocaleText(LOCALE_ITIME, "0") == "0";
    const std::string hour = LocaleText(LOCALE_ITLZERO, "0") == "1" ? "hh" : "h";
    s.ShortTimeFormat = hour + ":mm" + (twelveHour ? " AMPM" : "");
    s.LongTimeFormat = hour + ":mm:ss" + (twelveHour ? " AMPM" : "");
    for (int i = 0; i < 12; ++i) {
        s.ShortMonthNames[i] = LocaleText(LOCALE_SABBREVMONTHNAME1 + i, s.ShortMonthNames[i]);
        s.LongMonthNames[i] = LocaleText(LOCALE_SMONTHNAME1 + i, s.LongMonthNames[i]);
    }
    // The locale counts from Monday, ours from Sunday.
    for (int i = 0; i < 7; ++i) {
        s.ShortDayNames[(i + 1) % 7] = LocaleText(LOCALE_SABBREVDAYNAME1 + i, s.ShortDayNames[(i + 1) % 7]);
        s.LongDayNames[(i + 1) % 7] = LocaleText(LOCALE_SDAYNAME1 + i, s.LongDayNames[(i + 1) % 7]);
    }
    return s;
}

TVersionLabel::TVersionLabel(TComponent* AOwner, TWinControl* AParent, int Left, int Top)
    : TLabel(AOwner, AParent, Left, Top, ""), FVersionResourceKey(VersionResourceKeyOf(vrFileVersion)),
      FInfoPrefix(InfoPrefixOf(vrFileVersion)), FDateTimeFormat(LocaleFormatSettings().ShortDateFormat) {
    LONG style = GetWindowLongA(Handle(), GWL_STYLE);
    SetWindowLongA(Handle(), GWL_STYLE, (style & ~SS_TYPEMASK) | SS_LEFTNOWORDWRAP);
    Refresh();
}

void TVersionLabel::SetVersionResource(TVersionResources Value) {
    if (Value == FVersionResource) return;
    FVersionResource = Value;
    FVersionResourceKey = VersionResourceKeyOf(Value);
    FInfoPrefix = InfoPrefixOf(Value);
    Refresh();
}

void TVersionLabel::SetVersionResourceKey(const std::string& Value) {
    if (Value == FVersionResourceKey) return;
    FVersionResourceKey = Value;
    FInfoPrefix = Value;
    Refresh();
}

void TVersionLabel::SetInfoPrefix(const std::string& Value) {
    if (Value == FInfoPrefix) return;
    FInfoPrefix = Value;
    Refresh();
}

void TVersionLabel::SetShowInfoPrefix(bool Value) {
    if (Value == FShowInfoPrefix) return;
    FShowInfoPrefix = Value;
    Refresh();
}

void TVersionLabel::SetLangCharset(const std::string& Value) {
    if (Value == FLangCharset) return;
    FLangCharset = Value;
    Refresh();
}

void TVersionLabel::SetFilename(const std::string& Value) {
    if (Value == FFilename) return;
    FFilename = Value;
    Refresh();
}

void TVersionLabel::SetDateTimeFormat(const std::string& Value) {
    if (Value.empty() || Value == FDateTimeFormat) return;
    FDateTimeFormat = Value;
    Refresh();
}

void TVersionLabel::SetFileSizeFormat(const std::string& Value) {
    if (Value.empty() || Value == FFileSizeFormat) return;
    FFileSizeFormat = Value;
    Refresh();
}

void TVersionLabel::Refresh() {
    std::string text = ValueText(FFilename.empty() ? ExeFileName() : FFilename);
    if (FShowInfoPrefix) text = WithInfoPrefix(FInfoPrefix, text);
    SetCaption(text);
    FInfoString = text;
    AutoSize();
}

std::string TVersionLabel::ValueText(const std::string& FileName) {
    // The date and size too: a file without version information is not described at all.
    TFileVersionInfo info(FileName);
    if (!info.Present()) return "< No Data Available >";
    if (!info.Loaded()) return "< Error retrieving version info >";
    switch (FVersionResource) {
    case vrFlags: {
        const VS_FIXEDFILEINFO* fixed = info.Fixed();
        return fixed ? FileFlagsText(fixed->dwFileFlags) : "< Error retrieving fixed version info >";
    }
    case vrDateTime:
        return FileDateText(FileName, FDateTimeFormat);
    case vrFileSize:
        return FileSizeText(FileName, FFileSizeFormat);
    default:
        return StringText(info);
    }
}

std::string TVersionLabel::StringText(const TFileVersionInfo& Info) {
    if (FLangCharset == "-1") {
        WORD language = 0, codePage = 0;
        if (!Info.FirstTranslation(language, codePage)) return "< Error retrieving translation info >";
        FLangCharset = LangCharsetText(language, codePage);
    }
    std::string value;
    if (!Info.StringValue(FLangCharset, FVersionResourceKey, value))
        return "< Error retrieving string version info >";
    if (value.size() < 2) return "< No Version Info >";
    return FVersionResource == vrShortFileVersion ? ShortVersionText(value) : value;
}
