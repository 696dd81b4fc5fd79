// A small helper for the end-to-end test. It joins Pelorin's Wine desktop and reports what
// a person would see (which window is shown, which page is open, where a control is on
// the screen) so that the test script can click the right place with xdotool.
//   driver state                  form=1 visible=0 tab=-1 taskbar=0 menu=0
//   driver where CLASS TEXT       the screen centre of a control of the options form
//   driver menu                   the open popup menu: its items and their states
//   driver tabs                   the page control's top-left corner on the screen
//   driver formrect               the options form's frame on the screen
//   driver combo                  the category picker: drop=1 while its tree is shown, and its text
//   driver lose-icon              makes the shell forget Pelorin's icon, as a shell crash does
//   driver taskbar-created        announces a new shell the way a restarted one does
//   driver msgbox                 a message box of Pelorin: "title|text|x y" (x y: its OK button)
//   driver mem                    Pelorin's private memory in KiB
//   driver popup                  popup=1 and its frame while the news popup is shown
//   driver links                  the popup's links as drawn (blue runs): "x y" per link
//   driver dialog CAPTION         dialog=1 and its frame while a window of that caption is shown
//   driver statics                the texts of the options form's labels, one per line
//   driver record-url URL         appends URL to C:\urls.txt: the test's web browser
//   driver button TEXT CAPTION    the screen centre of the button TEXT in the shown window of
//                                 that caption, "disabled" while it is greyed, else "none"
//   driver texts CAPTION          the shown window of that caption: "class|text" per control
//   driver procs NAME             the running processes of that file name: "pid|command line"
//                                 each, or "none"
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
HWND Form() { return FindWindowA("PelorinWindow", "Options"); }

struct TFind {
    const char* Class;
    const char* Text;
    HWND Found;
};

BOOL CALLBACK FindChild(HWND Wnd, LPARAM Param) {
    auto* f = reinterpret_cast<TFind*>(Param);
    char cls[64], text[256];
    GetClassNameA(Wnd, cls, sizeof(cls));
    GetWindowTextA(Wnd, text, sizeof(text));
    if (lstrcmpiA(cls, f->Class) == 0 && (!f->Text[0] || std::strcmp(text, f->Text) == 0)) {
        f->Found = Wnd;
        return FALSE;
    }
    return TRUE;
}

HWND Child(const char* Class, const char* Text) {
    TFind f = {Class, Text, nullptr};
    if (HWND form = Form()) EnumChildWindows(form, FindChild, reinterpret_cast<LPARAM>(&f));
    return f.Found;
}

HWND OpenMenu() {
    HWND menu = FindWindowA("#32768", nullptr);
    return (menu && IsWindowVisible(menu)) ? menu : nullptr;
}

int State() {
    HWND form = Form();
    HWND tab = Child("SysTabControl32", "");
    HWND app = FindWindowA("PelorinApplication", nullptr);
    int page = tab ? static_cast<int>(SendMessageA(tab, TCM_GETCURSEL, 0, 0)) : -1;
    std::printf("form=%d visible=%d tab=%d taskbar=%d menu=%d\n", form ? 1 : 0,
                form && IsWindowVisible(form) ? 1 : 0, page, app && IsWindowVisible(app) ? 1 : 0,
                OpenMenu() ? 1 : 0);
    return 0;
}

int Where(const char* Class, const char* Text) {
    HWND wnd = Child(Class, Text);
    if (!wnd) {
        std::printf("none\n");
        return 1;
    }
    RECT r;
    GetWindowRect(wnd, &r);
    std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return 0;
}

int Tabs() {
    HWND tab = Child("SysTabControl32", "");
    if (!tab) return 1;
    RECT r;
    GetWindowRect(tab, &r);
    int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
    // The item rectangles live in the other process; the row height and the control's
    // width are enough to aim at each tab's text.
    (void)count;
    std::printf("%ld %ld\n", r.left, r.top);
    return 0;
}

struct TLose {
    DWORD Pid;
    int Deleted;
};

BOOL CALLBACK LoseIcon(HWND Wnd, LPARAM Param) {
    auto* l = reinterpret_cast<TLose*>(Param);
    char cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(Wnd, &pid);
    GetClassNameA(Wnd, cls, sizeof(cls));
    if (pid != l->Pid || std::strcmp(cls, "PelorinMessageWindow") != 0) return TRUE;
    // The shell knows an icon by its window and number; the program's only icon is number 1.
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof(data);
    data.hWnd = Wnd;
    data.uID = 1;
    if (Shell_NotifyIconA(NIM_DELETE, &data)) ++l->Deleted;
    return TRUE;
}

int LoseIconCmd() {
    HWND app = FindWindowA("PelorinApplication", nullptr);
    TLose l = {0, 0};
    if (app) GetWindowThreadProcessId(app, &l.Pid);
    if (l.Pid) EnumWindows(LoseIcon, reinterpret_cast<LPARAM>(&l));
    std::printf("deleted=%d\n", l.Deleted);
    return l.Deleted == 1 ? 0 : 1;
}

int TaskbarCreated() {
    UINT msg = RegisterWindowMessageA("TaskbarCreated");
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, msg, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    std::printf("sent\n");
    return 0;
}

struct TBox {
    HWND Dialog;
    HWND Text;
    HWND Ok;
};

BOOL CALLBACK FindBox(HWND Wnd, LPARAM Param) {
    auto* b = reinterpret_cast<TBox*>(Param);
    char cls[64];
    GetClassNameA(Wnd, cls, sizeof(cls));
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(Wnd)) {
        b->Dialog = Wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindBoxParts(HWND Wnd, LPARAM Param) {
    auto* b = reinterpret_cast<TBox*>(Param);
    char cls[64], text[64];
    GetClassNameA(Wnd, cls, sizeof(cls));
    GetWindowTextA(Wnd, text, sizeof(text));
    if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextLengthA(Wnd) > 0) b->Text = Wnd;
    if (lstrcmpiA(cls, "Button") == 0 && std::strcmp(text, "OK") == 0) b->Ok = Wnd;
    return TRUE;
}

int MsgBox() {
    TBox b = {nullptr, nullptr, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&b));
    if (!b.Dialog) {
        std::printf("none\n");
        return 1;
    }
    EnumChildWindows(b.Dialog, FindBoxParts, reinterpret_cast<LPARAM>(&b));
    char title[128] = {}, text[512] = {};
    GetWindowTextA(b.Dialog, title, sizeof(title));
    if (b.Text) GetWindowTextA(b.Text, text, sizeof(text));
    RECT r = {};
    if (b.Ok) GetWindowRect(b.Ok, &r);
    std::printf("%s|%s|%ld %ld\n", title, text, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return 0;
}

int FormRect() {
    HWND form = Form();
    if (!form) {
        std::printf("none\n");
        return 1;
    }
    RECT r;
    GetWindowRect(form, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

int Combo() {
    HWND button = Child("PelorinDropTreeButton", "");
    HWND drop = FindWindowA("PelorinDropTree", nullptr);
    char text[256] = {};
    // An edit of another process keeps its text to itself: ask it.
    if (button) SendMessageA(GetParent(button), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    std::printf("drop=%d text=%s\n", drop && IsWindowVisible(drop) ? 1 : 0, text);
    return button ? 0 : 1;
}

int Mem() {
    HWND app = FindWindowA("PelorinApplication", nullptr);
    DWORD pid = 0;
    if (app) GetWindowThreadProcessId(app, &pid);
    HANDLE process = pid ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid) : nullptr;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (!process ||
        !GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc))) {
        std::printf("none\n");
        if (process) CloseHandle(process);
        return 1;
    }
    // PrivateUsage and PagefileUsage both count the private committed bytes; some systems
    // fill in only one of them.
    SIZE_T priv = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    std::printf("private=%lu working=%lu\n", static_cast<unsigned long>(priv / 1024),
                static_cast<unsigned long>(pmc.WorkingSetSize / 1024));
    CloseHandle(process);
    return 0;
}

int Menu() {
    HWND wnd = OpenMenu();
    if (!wnd) {
        std::printf("no menu\n");
        return 1;
    }
    RECT r;
    GetWindowRect(wnd, &r);
    std::printf("rect %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(wnd, 0x01E1 /*MN_GETHMENU*/, 0, 0));
    int n = menu ? GetMenuItemCount(menu) : -1;
    std::printf("items %d\n", n);
    for (int i = 0; i < n; ++i) {
        char text[128] = {};
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        std::printf("item %d %s|%s\n", i, (state & MF_SEPARATOR) ? "-" : text,
                    (state & MF_GRAYED) ? "disabled" : "enabled");
    }
    return 0;
}
HWND Popup() {
    HWND popup = FindWindowA("PelorinHTMLPopup", nullptr);
    return (popup && IsWindowVisible(popup)) ? popup : nullptr;
}

int PopupState() {
    HWND popup = Popup();
    RECT r = {};
    if (popup) GetWindowRect(popup, &r);
    std::printf("popup=%d %ld %ld %ld %ld\n", popup ? 1 : 0, r.left, r.top, r.right, r.bottom);
    return 0;
}

// Links are drawn in pure blue and nothing else in the popup is: each band of rows with
// blue in it is a line, and each run of blue in a band, with gaps under a word space, a link.
int Links() {
    HWND popup = Popup();
    if (!popup) {
        std::printf("none\n");
        return 1;
    }
    RECT r;
    GetWindowRect(popup, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(dc, bmp);
    BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(dc, old);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 4);
    GetDIBits(dc, bmp, 0, h, pixels.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    auto blue = [&](int x, int y) {
        const unsigned char* p = &pixels[(static_cast<size_t>(y) * w + x) * 4];  // B, G, R
        return p[2] < 60 && p[1] < 60 && p[0] > 200;
    };
    int y = 0;
    while (y < h) {
        int top = y;
        while (top < h) {
            bool any = false;
            for (int x = 0; x < w && !any; ++x)
                any = blue(x, top);
            if (any) break;
            ++top;
        }
        if (top >= h) break;
        // Anti-aliased letters can leave a row without pure blue between a link's text and
        // its underline: a band ends only after three rows without any.
        int bottom = top;
        std::vector<bool> column(w, false);
        for (int row = top, empty = 0; row < h && empty < 3; ++row) {
            bool any = false;
            for (int x = 0; x < w; ++x)
                if (blue(x, row)) column[x] = any = true;
            if (any) {
                bottom = row;
                empty = 0;
            } else {
                ++empty;
            }
        }
        for (int x = 0; x < w;) {
            if (!column[x]) {
                ++x;
                continue;
            }
            int left = x, right = x;
            for (int gap = 0; x < w && gap < 5; ++x) {
                if (column[x]) {
                    right = x;
                    gap = 0;
                } else {
                    ++gap;
                }
            }
            if (right - left >= 4)
                std::printf("%ld %ld\n", r.left + (left + right) / 2, r.top + (top + bottom) / 2);
        }
        y = bottom + 3;
    }
    return 0;
}

BOOL CALLBACK PrintStatic(HWND Wnd, LPARAM) {
    char cls[64], text[256];
    GetClassNameA(Wnd, cls, sizeof(cls));
    if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(Wnd, text, sizeof(text)) > 0)
        std::printf("%s\n", text);
    return TRUE;
}

int Statics() {
    HWND form = Form();
    if (!form) return 1;
    EnumChildWindows(form, PrintStatic, 0);
    return 0;
}

int Dialog(const char* Caption) {
    HWND wnd = FindWindowA(nullptr, Caption);
    RECT r = {};
    const bool shown = wnd && IsWindowVisible(wnd);
    if (shown) GetWindowRect(wnd, &r);
    std::printf("dialog=%d %ld %ld %ld %ld\n", shown ? 1 : 0, r.left, r.top, r.right, r.bottom);
    return 0;
}

// Every shown top-level window of a caption: the question, the wizard and the boxes they
// raise may share one.
struct TShownWindows {
    const std::string* Caption;
    std::vector<HWND> Windows;
};

// Window enumeration callbacks are stdcall: named functions, as a lambda is not one on i686.
BOOL CALLBACK AddShownWindow(HWND Wnd, LPARAM Param) {
    auto* f = reinterpret_cast<TShownWindows*>(Param);
    char text[256] = {};
    GetWindowTextA(Wnd, text, sizeof(text));
    if (IsWindowVisible(Wnd) && *f->Caption == text) f->Windows.push_back(Wnd);
    return TRUE;
}

std::vector<HWND> ShownWindows(const std::string& Caption) {
    TShownWindows found = {&Caption, {}};
    EnumWindows(AddShownWindow, reinterpret_cast<LPARAM>(&found));
    return found.Windows;
}

BOOL CALLBACK AddChild(HWND Wnd, LPARAM Param) {
    reinterpret_cast<std::vector<HWND>*>(Param)->push_back(Wnd);
    return TRUE;
}

std::vector<HWND> Children(HWND Parent) {
    std::vector<HWND> all;
    EnumChildWindows(Parent, AddChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::string ClassOf(HWND Wnd) {
    char cls[64] = {};
    GetClassNameA(Wnd, cls, sizeof(cls));
    return cls;
}

// The text of a control of another process: WM_GETTEXT reaches an edit's text too.
std::string TextOf(HWND Wnd) {
    char text[512] = {};
    SendMessageTimeoutA(Wnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    return text;
}

int Button(const char* Text, const std::string& Caption) {
    bool greyed = false;
    for (HWND wnd : ShownWindows(Caption))
        for (HWND child : Children(wnd)) {
            if (lstrcmpiA(ClassOf(child).c_str(), "Button") != 0 || TextOf(child) != Text ||
                !IsWindowVisible(child))
                continue;
            if (!IsWindowEnabled(child)) {
                greyed = true;
                continue;
            }
            RECT r;
            GetWindowRect(child, &r);
            std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
            return 0;
        }
    std::printf(greyed ? "disabled\n" : "none\n");
    return 1;
}

int Texts(const std::string& Caption) {
    const std::vector<HWND> shown = ShownWindows(Caption);
    if (shown.empty()) {
        std::printf("none\n");
        return 1;
    }
    for (HWND wnd : shown)
        for (HWND child : Children(wnd))
            if (IsWindowVisible(child)) std::printf("%s|%s\n", ClassOf(child).c_str(), TextOf(child).c_str());
    return 0;
}

// A process's command line, read from its parameters block as the system keeps it.
std::string CommandLineOf(HANDLE Process) {
    PROCESS_BASIC_INFORMATION info = {};
    if (NtQueryInformationProcess(Process, ProcessBasicInformation, &info, sizeof(info), nullptr) != 0 ||
        !info.PebBaseAddress)
        return "?";
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS params = {};
    if (!ReadProcessMemory(Process, info.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
        !ReadProcessMemory(Process, peb.ProcessParameters, &params, sizeof(params), nullptr))
        return "?";
    std::wstring line(params.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(Process, params.CommandLine.Buffer, &line[0], params.CommandLine.Length, nullptr))
        return "?";
    std::string text(line.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(CP_ACP, 0, line.c_str(), static_cast<int>(line.size()), &text[0],
                                      static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? n : 0);
    return text;
}

int Procs(const char* Name) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int found = 0;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
        if (lstrcmpiA(entry.szExeFile, Name) != 0) continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
        std::printf("%lu|%s\n", static_cast<unsigned long>(entry.th32ProcessID),
                    process ? CommandLineOf(process).c_str() : "?");
        if (process) CloseHandle(process);
        ++found;
    }
    CloseHandle(snap);
    if (!found) std::printf("none\n");
    return found ? 0 : 1;
}

std::string Words(int argc, char** argv, int First) {
    std::string text;
    for (int i = First; i < argc; ++i)
        text += (i > First ? " " : "") + std::string(argv[i]);
    return text;
}

int RecordUrl(const char* Url) {
    std::FILE* f = std::fopen("C:\\urls.txt", "ab");
    if (!f) return 1;
    std::fprintf(f, "%s\n", Url);
    std::fclose(f);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "state";
    int rc = 2;
    if (cmd == "state")
        rc = State();
    else if (cmd == "where" && argc > 3)
        rc = Where(argv[2], argv[3]);
    else if (cmd == "tabs")
        rc = Tabs();
    else if (cmd == "menu")
        rc = Menu();
    else if (cmd == "mem")
        rc = Mem();
    else if (cmd == "formrect")
        rc = FormRect();
    else if (cmd == "combo")
        rc = Combo();
    else if (cmd == "lose-icon")
        rc = LoseIconCmd();
    else if (cmd == "msgbox")
        rc = MsgBox();
    else if (cmd == "taskbar-created")
        rc = TaskbarCreated();
    else if (cmd == "popup")
        rc = PopupState();
    else if (cmd == "links")
        rc = Links();
    else if (cmd == "dialog" && argc > 2)
        rc = Dialog(Words(argc, argv, 2).c_str());
    else if (cmd == "button" && argc > 3)
        rc = Button(argv[2], Words(argc, argv, 3));
    else if (cmd == "texts" && argc > 2)
        rc = Texts(Words(argc, argv, 2));
    else if (cmd == "procs" && argc > 2)
        rc = Procs(argv[2]);
    else if (cmd == "statics")
        rc = Statics();
    else if (cmd == "record-url" && argc > 2)
        rc = RecordUrl(argv[2]);
    std::fflush(stdout);
    return rc;
}
