// Black-box driver of one Windows deliverable, run under Wine: starts the real
// program from another folder, finds its window by title, checks the client
// size and the controls' rectangles, captions and styles, presses both buttons
// with both methods (by message and by keyboard), reads and dismisses each
// message box, and closes the window; or, with no library beside the program,
// checks that the library method ends in the error report and status 1; or,
// with a library that ends the process inside a call, that the supervisor
// reports it as error 51 with status 1. Also reads the program file's version
// information back. Screenshots are taken with the X server's own tool. The
// window and boxes belong to the program's supervised child or its own child.
// Usage: win_driver normal|nolib|exits EXE START_FOLDER SHOTS_DIR NAME VERSION COMPANY
// (folders as Unix paths; Wine maps them to drive Z:)
#include "tests/time_bound.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <regex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using testing_support::boundMs;

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what)
{
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s\n", what.c_str());
        std::fflush(stdout);
    }
}

std::wstring wide(const std::string& s)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string utf8(const std::wstring& w)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// A Unix path as Wine's drive Z: sees it.
std::wstring windowsPath(const std::string& unix)
{
    std::wstring w = L"Z:" + wide(unix);
    for (wchar_t& c : w)
        if (c == L'/')
            c = L'\\';
    return w;
}

std::string textOf(HWND w)
{
    wchar_t buf[512] = {};
    GetWindowTextW(w, buf, 512);
    return utf8(buf);
}

// Whether process is ancestor or one of its descendants.
bool descendsFrom(DWORD process, DWORD ancestor)
{
    std::unordered_map<DWORD, DWORD> parents;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (bool more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        parents[entry.th32ProcessID] = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    for (int depth = 0; depth < 8 && process != 0; ++depth, process = parents[process])
        if (process == ancestor)
            return true;
    return false;
}

struct Search {
    DWORD pid;
    std::wstring title;
    const wchar_t* className; // null: any
    HWND found;
};

BOOL CALLBACK matchWindow(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    wchar_t title[512] = {};
    wchar_t cls[64] = {};
    GetWindowTextW(w, title, 512);
    GetClassNameW(w, cls, 64);
    if (IsWindowVisible(w) && s->title == title && (!s->className || std::wcscmp(cls, s->className) == 0)
        && descendsFrom(owner, s->pid)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level window of process pid or a descendant titled title (of class className), or null.
HWND topLevel(DWORD pid, const std::wstring& title, const wchar_t* className = nullptr)
{
    Search s{pid, title, className, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Polls f every 50 ms, where no event tells when it will answer (a window shown
// or gone, the focus moved); its first non-null answer, or null after the bound.
template <class F>
auto waitFor(F f) -> decltype(f())
{
    const ULONGLONG end = GetTickCount64() + boundMs(60);
    for (;;) {
        if (auto v = f())
            return v;
        if (GetTickCount64() >= end)
            return {};
        Sleep(50);
    }
}

std::string shotsDir;
std::string programName;

// A screenshot of the X server's screen, by the X tools Wine can start.
void shot(const std::string& what)
{
    Sleep(1000); // let the window manager map and the X server paint what was just shown
    std::wstring cmd = wide("/usr/bin/import -window root " + shotsDir + "/" + programName + "-win32-" + what + ".png");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, boundMs(60));
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
}

struct Program {
    PROCESS_INFORMATION pi{};
    HWND window = nullptr;
    HWND controls[4] = {}; // Command1, Command2, Option1, Option2

    bool start(const std::wstring& exe, const std::wstring& folder)
    {
        std::wstring cmd = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi))
            return false;
        window = waitFor([&] { return topLevel(pi.dwProcessId, L"Verifica Conversione & Prestazioni"); });
        if (!window)
            return false;
        // The controls in tab order, found by caption.
        const wchar_t* captions[4] = {L"Quendril", L"StringToArray", L"Utilizza la DLL", L"Utilizza il Codice VB"};
        for (int i = 0; i < 4; ++i)
            controls[i] = FindWindowExW(window, nullptr, L"Button", captions[i]);
        return true;
    }

    // Waits for the box titled title; its text, or "" when no box came.
    std::string awaitBox(const std::string& title, HWND* box)
    {
        *box = waitFor([&] { return topLevel(pi.dwProcessId, wide(title), L"#32770"); });
        if (!*box)
            return {};
        HWND text = GetDlgItem(*box, 0xFFFF);
        return text ? textOf(text) : std::string();
    }

    void dismiss(HWND box)
    {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        waitFor([&] { return !IsWindow(box); });
    }

    HWND focus() const
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
    }

    // Ends with the window closed; the program's exit status, or -1 if it did not end.
    DWORD exitStatus()
    {
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(pi.hProcess, boundMs(60)) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }
};

const std::regex kTime("impiegati -?\\d+[.,]\\d{3} sec\\.");

// Whether text is run 1's message: " 50000", a lone carriage return, the time.
bool isRun1Message(const std::string& text)
{
    const auto cr = text.find('\r');
    return cr != std::string::npos && text.substr(0, cr) == " 50000" && std::regex_match(text.substr(cr + 1), kTime);
}

// Presses button (by message) and returns the text of the box that follows, dismissing it.
std::string pressAndRead(Program& p, HWND button, const std::string& shotName = {})
{
    PostMessageW(button, BM_CLICK, 0, 0);
    HWND box = nullptr;
    const std::string text = p.awaitBox(programName, &box);
    if (!box)
        return "(no box)";
    if (!shotName.empty())
        shot(shotName);
    p.dismiss(box);
    return text;
}

void checkNormalUse(const std::wstring& exe, const std::wstring& start)
{
    Program p;
    if (!p.start(exe, start)) {
        check(false, "window 'Verifica Conversione & Prestazioni' never appeared");
        return;
    }
    RECT client{};
    GetClientRect(p.window, &client);
    check(client.right == 312 && client.bottom == 213,
          "client area is " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + ", not 312x213");

    // Rectangles at 96 dpi, kinds and styles, in tab order.
    const RECT expected[4] = {{32, 80, 153, 113}, {32, 120, 153, 153}, {32, 8, 241, 41}, {32, 40, 257, 65}};
    for (int i = 0; i < 4; ++i) {
        HWND c = p.controls[i];
        check(c != nullptr, "control " + std::to_string(i) + " not found by its caption");
        if (!c)
            return;
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, p.window, reinterpret_cast<POINT*>(&r), 2);
        check(EqualRect(&r, &expected[i]),
              textOf(c) + " is at " + std::to_string(r.left) + "," + std::to_string(r.top) + " "
                  + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
        const LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
        check(type == (i < 2 ? BS_PUSHBUTTON : BS_AUTORADIOBUTTON), textOf(c) + ": wrong button kind");
    }
    check(GetNextWindow(p.controls[0], GW_HWNDNEXT) == p.controls[1]
              && GetNextWindow(p.controls[1], GW_HWNDNEXT) == p.controls[2]
              && GetNextWindow(p.controls[2], GW_HWNDNEXT) == p.controls[3],
          "controls not in the order Command1, Command2, Option1, Option2");
    check(SendMessageW(p.controls[2], BM_GETCHECK, 0, 0) == BST_CHECKED
              && SendMessageW(p.controls[3], BM_GETCHECK, 0, 0) == BST_UNCHECKED,
          "Option1 is not the one selected at start");
    check(waitFor([&] { return p.focus() == p.controls[0]; }), "Command1 does not hold the focus at start");
    shot("window");

    // Keyboard: Enter presses the focused push button (none is the default); Tab moves to the next.
    PostMessageW(p.controls[0], WM_KEYDOWN, VK_RETURN, 0x001C0001);
    HWND box = nullptr;
    std::string text = p.awaitBox(programName, &box);
    check(isRun1Message(text), "Enter on Command1 gave " + (box ? "'" + text + "'" : std::string("no box")));
    if (box) {
        shot("quendril");
        p.dismiss(box);
    }
    PostMessageW(p.controls[0], WM_KEYDOWN, VK_TAB, 0x000F0001);
    check(waitFor([&] { return p.focus() == p.controls[1]; }), "Tab from Command1 does not reach Command2");

    // Both buttons with both methods.
    for (bool library : {true, false}) {
        if (!library)
            PostMessageW(p.controls[3], BM_CLICK, 0, 0);
        const std::string method = library ? "Utilizza la DLL: " : "Utilizza il Codice VB: ";
        text = pressAndRead(p, p.controls[0]);
        check(isRun1Message(text), method + "Quendril showed '" + text + "'");
        text = pressAndRead(p, p.controls[1], library ? "stringtoarray" : "");
        check(std::regex_match(text, kTime), method + "StringToArray showed '" + text + "'");
    }
    check(SendMessageW(p.controls[2], BM_GETCHECK, 0, 0) == BST_UNCHECKED,
          "selecting Option2 did not clear Option1");

    PostMessageW(p.window, WM_CLOSE, 0, 0);
    const DWORD status = p.exitStatus();
    check(status == 0, "closing the window: exit status " + std::to_string(static_cast<long>(status)));
}

void checkWithoutLibrary(const std::wstring& exe, const std::wstring& start)
{
    Program p;
    if (!p.start(exe, start)) {
        check(false, "no library: the window never appeared");
        return;
    }
    // The in-program method needs no library.
    PostMessageW(p.controls[3], BM_CLICK, 0, 0);
    std::string text = pressAndRead(p, p.controls[0]);
    check(isRun1Message(text), "no library, Utilizza il Codice VB: Quendril showed '" + text + "'");
    text = pressAndRead(p, p.controls[1]);
    check(std::regex_match(text, kTime), "no library, Utilizza il Codice VB: StringToArray showed '" + text + "'");

    // The library method ends in the error report, then the program ends with status 1.
    PostMessageW(p.controls[2], BM_CLICK, 0, 0);
    PostMessageW(p.controls[0], BM_CLICK, 0, 0);
    HWND box = nullptr;
    text = p.awaitBox(programName, &box);
    check(text.rfind("Errore di run-time '53':", 0) == 0 && text.find("quendril.dll") != std::string::npos,
          "no library: the error report said '" + text + "'");
    if (box) {
        shot("error-report");
        p.dismiss(box);
    }
    const DWORD status = p.exitStatus();
    check(status == 1, "after the error report: exit status " + std::to_string(static_cast<long>(status)));
}

void checkLibraryThatExits(const std::wstring& exe, const std::wstring& start)
{
    Program p;
    if (!p.start(exe, start)) {
        check(false, "exiting library: the window never appeared");
        return;
    }
    PostMessageW(p.controls[0], BM_CLICK, 0, 0);
    HWND box = nullptr;
    const std::string text = p.awaitBox(programName, &box);
    check(text.rfind("Errore di run-time '51':", 0) == 0
              && text.find("durante una chiamata a 'xrQuendril' della libreria 'quendril.dll': stato di uscita 0")
                     != std::string::npos,
          "exiting library: the report said '" + text + "'");
    if (box)
        p.dismiss(box);
    const DWORD status = p.exitStatus();
    check(status == 1, "after the supervisor's report: exit status " + std::to_string(static_cast<long>(status)));
}

// The program's icon group: 32x32 monochrome, 32x32 16-colour, 16x16 16-colour.
void checkIconGroup(const std::wstring& exe)
{
    HMODULE file = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC group = file ? FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)) : nullptr; // RT_GROUP_ICON
    const auto* data = group ? static_cast<const BYTE*>(LockResource(LoadResource(file, group))) : nullptr;
    check(data && reinterpret_cast<const WORD*>(data)[2] == 3, "no icon group of three images");
    if (data && reinterpret_cast<const WORD*>(data)[2] == 3) {
        const int expected[3][3] = {{32, 2, 1}, {32, 16, 4}, {16, 16, 4}}; // size, colours, bits per pixel
        for (int i = 0; i < 3; ++i) {
            const BYTE* entry = data + 6 + 14 * i;
            const int bits = entry[6] | entry[7] << 8;
            check(entry[0] == expected[i][0] && entry[1] == expected[i][0] && entry[2] == expected[i][1] % 256
                      && bits == expected[i][2],
                  "icon image " + std::to_string(i) + " is " + std::to_string(entry[0]) + "px, "
                      + std::to_string(bits) + " bits");
        }
    }
    if (file)
        FreeLibrary(file);
}

std::string versionString(const std::vector<char>& info, const char* key)
{
    void* value = nullptr;
    UINT size = 0;
    const std::wstring path = L"\\StringFileInfo\\041004b0\\" + wide(key);
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &size) || size == 0)
        return "(none)";
    return utf8(static_cast<const wchar_t*>(value));
}

void checkVersionInformation(const std::wstring& exe, const std::string& version, const std::string& company)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    std::vector<char> info(size);
    check(size > 0 && GetFileVersionInfoW(exe.c_str(), 0, size, info.data()), "no version information");
    if (!size)
        return;
    const std::pair<const char*, std::string> expected[] = {
        {"FileVersion", version},         {"ProductVersion", version},
        {"ProductName", programName},     {"InternalName", programName},
        {"OriginalFilename", programName + ".exe"}, {"CompanyName", company},
    };
    for (const auto& [key, value] : expected) {
        const std::string got = versionString(info, key);
        check(got == value, std::string(key) + " is '" + got + "', not '" + value + "'");
    }
    void* value = nullptr;
    UINT length = 0;
    check(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= 4
              && static_cast<const WORD*>(value)[0] == 0x0410 && static_cast<const WORD*>(value)[1] == 1200,
          "translation is not Italian (0x0410) with code page 1200");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s normal|nolib|exits EXE START_FOLDER SHOTS_DIR NAME VERSION COMPANY\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const std::wstring exe = windowsPath(argv[2]);
    const std::wstring start = windowsPath(argv[3]);
    shotsDir = argv[4];
    programName = argv[5];
    if (mode == "normal") {
        checkVersionInformation(exe, argv[6], argv[7]);
        checkIconGroup(exe);
        checkNormalUse(exe, start);
    } else if (mode == "nolib") {
        checkWithoutLibrary(exe, start);
    } else {
        checkLibraryThatExits(exe, start);
    }
    std::printf("%s %s: %d passed, %d failed\n", programName.c_str(), mode.c_str(), passed, failed);
    return failed ? 1 : 0;
}
