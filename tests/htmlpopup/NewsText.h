#pragma once
// A news popup text composed the way the program composes it after a refresh: header with
// the "Close" link, bold channel title with a rule, one line per item with an "idx:" image,
// and the footer of catalogue links.
#include <string>
#include <vector>

#include "base/StrUtils.h"

inline std::vector<std::string> NewsPopupLines(int Items,
                                               const std::string& Channel = "Quenlow: Latest Additions") {
    static const char* kTitles[] = {"Editor 2.1",   "PhotoTrim 5",  "ZipNest 3.02", "TaskPilot",
                                    "Clipster 1.4", "NetGauge 0.9", "Dictaphone 7", "FontBox 2",
                                    "Mailroom 4.5", "Backup Bee 1"};
    static const char* kDescriptions[] = {
        "A small text editor with tabs and macros.", "Crop and resize photos in batches.",
        "Archive manager for ZIP and 7z files.",     "Plan the week's tasks from the tray.",
        "Keeps the last fifty clipboard entries.",   "Shows network traffic as a graph.",
        "Records notes from the microphone.",        "Preview and install fonts quickly.",
        "Reads several mail accounts at once.",      "Copies chosen folders every night.",
    };
    const std::string site = "http://www.quenlow.example";
    std::vector<std::string> lines;
    lines.push_back("<P align=\"right\"><A href=\"Close\"><B>Close</B></A></P><P align=\"left\">");
    for (int i = 0; i < Items; ++i) {
        const std::string title = std::string(kTitles[i % 10]) + " | " + (i % 3 ? "shareware" : "freeware");
        // The part before the first "|", blank included, as the program shows it.
        const std::string display =
            title.find('|') == std::string::npos ? std::string() : title.substr(0, title.find('|'));
        std::string line = "<IMG src=\"idx:";
        line += (i % 4 == 1) ? "10" : "9";
        line += "\" align=\"top\">&nbsp;<A href=\"" + site + "/software/" + IntToStr(1000 + i) + ".html\">";
        line += display + "</A><BR>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
        line += kDescriptions[i % 10];
        line += "<BR>";
        lines.push_back(line);
    }
    lines.insert(lines.begin() + 1, "<B>" + Channel + "</B><HR><BR>");
    lines.push_back("</P><P align=\"right\">");
    lines.push_back("<A href=\"" + site + "/\">Home</A> | <A href=\"" + site +
                    "/showarticles-showall.html\">Categories</A> | <A href=\"" + site +
                    "/showarticles-news.html\">New Additions</A>");
    lines.push_back(" | <A href=\"" + site + "/top20-0.html\">Top20</A>");
    lines.push_back("</P>");
    return lines;
}

inline std::string Joined(const std::vector<std::string>& Lines) {
    std::string s;
    for (const auto& l : Lines)
        s += l;
    return s;
}
