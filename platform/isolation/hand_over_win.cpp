// The hand-over on Windows: a fresh process of the program's own file,
// started with an environment block prepared ahead (the one the program
// started with, its own variables, and a slot for the report), so that a
// fault handler only converts the report into it. The fresh process checks
// that the process its report names runs the same program file.
#include "platform/isolation/hand_over.h"

#include "platform/fault_report.h"
#include "platform/isolation/own_file_win.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <vector>

namespace platform::isolation {

namespace {

// The variable's name as the system's wide calls take it.
struct WideName {
    wchar_t text[sizeof faultReport::kVariable];
};
constexpr WideName kReportName = [] {
    WideName wide{};
    for (std::size_t i = 0; i < sizeof faultReport::kVariable; ++i)
        wide.text[i] = static_cast<wchar_t>(faultReport::kVariable[i]);
    return wide;
}();
constexpr const wchar_t* kReportVariable = kReportName.text;
constexpr std::size_t kReportRoom = 4096;

// What the hand-over keeps; never destroyed, for a fault in a library's detach code at exit.
struct Kept {
    std::vector<std::wstring> startEnvironment;
    std::vector<std::wstring> ownVariables;
    // The fresh process's environment block, its last entry the report's slot at reportSlot.
    std::vector<wchar_t> prepared;
    std::size_t reportSlot = 0;
};
Kept& kept()
{
    static Kept* const state = new Kept;
    return *state;
}

bool assigns(const std::wstring& entry, const std::wstring& name)
{
    return entry.size() > name.size() && _wcsnicmp(entry.c_str(), name.c_str(), name.size()) == 0
        && entry[name.size()] == L'=';
}

// An entry's name; the drive entries ("=C:=C:\...") keep their leading '='.
std::wstring nameOf(const std::wstring& entry)
{
    return entry.substr(0, entry.find(L'=', 1));
}

void append(const std::wstring& entry)
{
    kept().prepared.insert(kept().prepared.end(), entry.begin(), entry.end());
    kept().prepared.push_back(L'\0');
}

void prepare()
{
    Kept& k = kept();
    k.prepared.clear();
    for (const std::wstring& entry : k.startEnvironment) {
        bool replaced = assigns(entry, kReportVariable);
        for (const std::wstring& own : k.ownVariables)
            replaced = replaced || assigns(entry, nameOf(own));
        if (!replaced)
            append(entry);
    }
    for (const std::wstring& own : k.ownVariables)
        append(own);
    append(kReportVariable);
    k.prepared.back() = L'=';
    k.reportSlot = k.prepared.size();
    k.prepared.resize(k.prepared.size() + kReportRoom + 2, L'\0');
}

// Whether process id runs the same program file as this one.
bool isSameProgram(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    const bool same = QueryFullProcessImageNameW(process, 0, path, &size) && _wcsicmp(path, ownFileWide()) == 0;
    CloseHandle(process);
    return same;
}

} // namespace

void keepStartEnvironment()
{
    if (!kept().prepared.empty())
        return;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e; e += std::wcslen(e) + 1)
            kept().startEnvironment.emplace_back(e);
        FreeEnvironmentStringsW(block);
    }
    prepare();
}

void setFreshImageVariable(const std::string& name, const std::string& value)
{
    const std::wstring wideName = win::wide(name);
    std::erase_if(kept().ownVariables, [&](const std::wstring& own) { return assigns(own, wideName); });
    kept().ownVariables.push_back(wideName + L'=' + win::wide(value));
    prepare();
}

void keepInFreshImage(int) noexcept
{
}

bool showInFreshImage(const char* text, unsigned long& status) noexcept
{
    std::vector<wchar_t>& prepared = kept().prepared;
    const std::size_t slot = kept().reportSlot;
    if (prepared.empty() || !*ownFileWide())
        return false;
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, prepared.data() + slot, kReportRoom);
    prepared[slot + (n > 0 ? static_cast<std::size_t>(n) - 1 : 0)] = L'\0';
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(ownFileWide(), nullptr, nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, prepared.data(),
                        nullptr, &startup, &child))
        return false;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = EXIT_FAILURE;
    if (!GetExitCodeProcess(child.hProcess, &code))
        code = EXIT_FAILURE;
    status = code;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return true;
}

std::optional<RuntimeError> takeHandedReport()
{
    wchar_t value[kReportRoom + 1];
    const DWORD n = GetEnvironmentVariableW(kReportVariable, value, static_cast<DWORD>(std::size(value)));
    if (n == 0 || n >= std::size(value))
        return std::nullopt;
    SetEnvironmentVariableW(kReportVariable, nullptr);
    auto received = faultReport::readHandOver(win::utf8(std::wstring(value, n)));
    if (!received || received->process == GetCurrentProcessId() || !isSameProgram(received->process))
        return std::nullopt;
    return std::move(received->error);
}

} // namespace platform::isolation
