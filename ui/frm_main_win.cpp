// The main window in the Windows front-end: a top-level window whose client
// area and controls are laid out from the shared design at the system's dpi,
// push buttons and auto radio buttons of one group, keyboard handling as the
// dialog manager gives it, and the system's message box for results.
#include "ui/frm_main_win.h"

#include "platform/folders.h"
#include "platform/runtime_error.h"
#include "platform/system_error.h"
#include "platform/utf16.h"
#include "platform/error_text.h"
#include "ui/form_design.h"

#include <cstdio>
#include <cwchar>

namespace ui {

namespace {

constexpr wchar_t kClassName[] = L"VerificaConversioneFrmMain";
// Control ids start past IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
constexpr int kFirstControlId = 101;
// The resource id of the program's icon group.
constexpr int kIconResource = 1;

const wchar_t* wide(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

[[noreturn]] void raiseWindowError(platform::Message message)
{
    platform::raiseSystemError(platform::kInternalError, message, {}, GetLastError());
}

struct Dpi {
    int x;
    int y;
};

Dpi screenDpi()
{
    HDC screen = GetDC(nullptr);
    const Dpi dpi{GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
    ReleaseDC(nullptr, screen);
    return dpi;
}

HICON programIcon(int metricX, int metricY)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY), 0));
}

void registerWindowClass(WNDPROC proc)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = programIcon(SM_CXICON, SM_CYICON);
    wc.hIconSm = programIcon(SM_CXSMICON, SM_CYSMICON);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        raiseWindowError(platform::Message::cannotRegisterWindowClass);
}

HFONT makeFont(const design::Font& f, int dpiY)
{
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(static_cast<int>(f.pointSize * 100 + 0.5), dpiY, 7200);
    lf.lfWeight = f.weight;
    lf.lfCharSet = ANSI_CHARSET;
    const std::u16string family = platform::toUtf16(f.family);
    std::wcsncpy(lf.lfFaceName, wide(family), LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

} // namespace

FrmMain::FrmMain(std::u16string programTitle, const core::RunEnvironment& env)
    : programTitle_(std::move(programTitle)), env_(env)
{
    registerWindowClass(&FrmMain::windowProc);
    const Dpi dpi = screenDpi();
    const auto x = [&](int twips) { return design::toPixels(twips, dpi.x); };
    const auto y = [&](int twips) { return design::toPixels(twips, dpi.y); };

    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, x(design::kClientWidth), y(design::kClientHeight)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    const std::u16string caption = platform::toUtf16(design::kCaption);
    hwnd_ = CreateWindowExW(0, kClassName, wide(caption), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
    if (!hwnd_)
        raiseWindowError(platform::Message::cannotCreateWindow);

    optionFont_ = makeFont(design::kOptionFont, dpi.y);
    const auto defaultFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // Created in tab order, each push button a group of its own, the option buttons one group.
    for (std::size_t i = 0; i < design::kControls.size(); ++i) {
        const design::Control& c = design::kControls[i];
        const bool push = c.kind == design::Kind::PushButton;
        const bool startsGroup = push || i == design::Option1;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (startsGroup ? WS_GROUP : 0)
                          | (push ? BS_PUSHBUTTON : BS_AUTORADIOBUTTON);
        const std::u16string text = platform::toUtf16(c.caption);
        controls_[i] = CreateWindowExW(0, L"BUTTON", wide(text), style, x(c.left), y(c.top), x(c.width),
                                       y(c.height), hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)),
                                       GetModuleHandleW(nullptr), nullptr);
        if (!controls_[i])
            raiseWindowError(platform::Message::cannotCreateControls);
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(c.font ? optionFont_ : defaultFont), FALSE);
    }
    SendMessageW(controls_[design::kSelectedAtStart], BM_SETCHECK, BST_CHECKED, 0);
}

FrmMain::~FrmMain()
{
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (optionFont_)
        DeleteObject(optionFont_);
}

void FrmMain::Form_Load()
{
    platform::setCurrentDrive(platform::programFolder());
    platform::setCurrentDirectory(platform::programFolder());
}

void FrmMain::show()
{
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetFocus(controls_[design::Command1]);
}

bool FrmMain::handleDialogKey(MSG& msg)
{
    if (!hwnd_)
        return false;
    // Enter presses the focused push button, though neither is the default button.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        const HWND focus = GetFocus();
        if (focus == controls_[design::Command1] || focus == controls_[design::Command2]) {
            SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
    }
    return IsDialogMessageW(hwnd_, &msg);
}

bool FrmMain::Option1Selected() const
{
    return SendMessageW(controls_[design::Option1], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FrmMain::MsgBox(const std::u16string& prompt)
{
    MessageBoxW(hwnd_, wide(prompt), wide(programTitle_), MB_OK);
}

template <class F>
void FrmMain::runReportingErrors(F&& f)
{
    try {
        f();
    } catch (...) {
        showErrorReport(hwnd_, programTitle_, std::current_exception());
        exitStatus_ = EXIT_FAILURE;
        DestroyWindow(hwnd_);
    }
}

void FrmMain::Command1_Click()
{
    runReportingErrors([this] { core::Command1_Click(*this, env_); });
}

void FrmMain::Command2_Click()
{
    runReportingErrors([this] { core::Command2_Click(*this, env_); });
}

LRESULT CALLBACK FrmMain::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<FrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->handle(hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT FrmMain::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == kFirstControlId + design::Command1)
                Command1_Click();
            else if (LOWORD(wParam) == kFirstControlId + design::Command2)
                Command2_Click();
        }
        return 0;
    case WM_NEXTDLGCTL: {
        // The dialog manager moves the focus through this message, which only
        // dialog procedures handle by default.
        const HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                         : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
        if (next)
            SetFocus(next);
        return 0;
    }
    case WM_ACTIVATE:
        // Keep the control that had the focus across a message box or a switch to another window.
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (const HWND focus = GetFocus(); focus && IsChild(hwnd, focus))
                lastFocus_ = focus;
        } else {
            SetFocus(lastFocus_ ? lastFocus_ : controls_[design::Command1]);
        }
        return 0;
    case WM_DESTROY:
        hwnd_ = nullptr;
        PostQuitMessage(exitStatus_);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void showErrorReport(HWND owner, const std::u16string& title, std::exception_ptr e) noexcept
{
    const platform::ReportedError error = platform::describe(e);
    const UINT style = MB_OK | MB_ICONERROR | (owner ? 0 : MB_TASKMODAL);
    try {
        const std::u16string text = platform::toUtf16(platform::reportText(error));
        MessageBoxW(owner, wide(text), wide(title), style);
    } catch (...) {
        // Out of memory: the same words, converted on the stack.
        char utf8[512];
        platform::formatReportText(error, utf8, sizeof utf8);
        wchar_t text[512];
        if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text, 512) == 0)
            text[0] = L'\0';
        MessageBoxW(owner, text, wide(title), style);
    }
}

} // namespace ui
