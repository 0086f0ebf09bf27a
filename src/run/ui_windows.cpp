// The windows of the run: theme settings, the hidden main window and its message boxes, the
// progress dialog, the read-only prompt, the dialog font and the message pump. Owns every
// window handle, the dialog font and the theme library. Shows only message-table texts and
// never touches files.
#include "run/ui_windows.h"
#include "data/install_records.h"
#include "data/message_table.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "run/run_log.h"

const WCHAR kMainWindowClass[] = L"VorlixClass";

ScreenState Screen;

static const int kMainWindowWidth = 320;
static const int kMainWindowHeight = 200;
static const DWORD kAllowNonClient = 1;  // STAP_ALLOW_NONCLIENT

void LoadThemeLibrary() {
    // By its full path: the program runs elevated, and its folder (or its temporary copy's)
    // may hold a uxtheme.dll that an ordinary process put there.
    Screen.ThemeLibrary = LoadSystemLibrary(L"uxtheme.dll");
    if (Screen.ThemeLibrary)
        Screen.ThemeEntry =
            CastProc<decltype(Screen.ThemeEntry)>(::GetProcAddress(Screen.ThemeLibrary, "SetThemeAppProperties"));
}

void FreeThemeLibrary() {
    if (Screen.ThemeLibrary) ::FreeLibrary(Screen.ThemeLibrary);
    Screen.ThemeLibrary = nullptr;
    Screen.ThemeEntry = nullptr;
}

void ApplyThemeProperties() {
    if (Screen.ThemeEntry) Screen.ThemeEntry(kAllowNonClient);
}

void DeleteDialogFont() {
    if (Screen.DialogFont) ::DeleteObject(Screen.DialogFont);
    Screen.DialogFont = nullptr;
}

static LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return Platform.ApiTable.DefWindowProc(hwnd, message, wParam, lParam);
}

bool RegisterMainWindowClass() {
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = Platform.ModuleInstance;
    windowClass.hIcon = Platform.ApiTable.LoadIcon(Platform.ModuleInstance, MAKEINTRESOURCEW(IDI_PROGRAM));
    windowClass.hCursor = Platform.ApiTable.LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    return Platform.ApiTable.RegisterClass(&windowClass) != 0;
}

static int CentredOrigin(int screen, int size) {
    int origin = (screen - size) / 2;
    return origin < 0 ? 0 : origin;
}

bool CreateMainWindow() {
    int x = CentredOrigin(::GetSystemMetrics(SM_CXSCREEN), kMainWindowWidth);
    int y = CentredOrigin(::GetSystemMetrics(SM_CYSCREEN), kMainWindowHeight);
    Screen.MainWindow = Platform.ApiTable.CreateWindowEx(
        0, kMainWindowClass, GetMessageText(0, kMessageCaption), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y,
        kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, Platform.ModuleInstance, nullptr);
    return Screen.MainWindow != nullptr;
}

void DestroyMainWindow() {
    if (!Screen.MainWindow) return;
    ::DestroyWindow(Screen.MainWindow);
    Screen.MainWindow = nullptr;
    // GetMessage gives -1 on a failure; stopping there keeps a broken queue from spinning forever.
    MSG msg;
    while (Platform.ApiTable.GetMessage(&msg, nullptr, 0, 0) > 0) Platform.ApiTable.DispatchMessage(&msg);
}

// Gives every child of the dialog the normal-weight font, made once from the first dialog.
static void ApplyDialogFont(HWND dialog) {
    if (!Screen.DialogFont) {
        HFONT font = reinterpret_cast<HFONT>(Platform.ApiTable.SendMessage(dialog, WM_GETFONT, 0, 0));
        LOGFONTW logFont;
        if (font && Platform.ApiTable.GetObject(font, sizeof(logFont), &logFont)) {
            logFont.lfWeight = FW_NORMAL;
            Screen.DialogFont = Platform.ApiTable.CreateFontIndirect(&logFont);
        }
        if (!Screen.DialogFont) return;
    }
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        Platform.ApiTable.SendMessage(child, WM_SETFONT, reinterpret_cast<WPARAM>(Screen.DialogFont), FALSE);
}

static INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ApplyDialogFont(dialog);
        Platform.ApiTable.SetWindowText(dialog, GetMessageText(0, kMessageCaption));
        return TRUE;
    case WM_COMMAND:
        // Esc and the close box arrive as IDCANCEL: swallowed, the run cannot be stopped half-way.
        Platform.ApiTable.SetWindowLong(dialog, DWL_MSGRESULT, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

static void LabelPrompt(HWND dialog, const WCHAR* text) {
    ApplyDialogFont(dialog);
    Platform.ApiTable.SetWindowText(dialog, GetMessageText(0, kMessageCaption));
    Platform.ApiTable.SetDlgItemText(dialog, IDC_TEXT, text);
    Platform.ApiTable.SetDlgItemText(dialog, IDYES, GetMessageText(0, kMessageYes));
    Platform.ApiTable.SetDlgItemText(dialog, IDNO, GetMessageText(0, kMessageNo));
    Platform.ApiTable.SetDlgItemText(dialog, IDC_YESTOALL, GetMessageText(0, kMessageYesToAll));
    Platform.ApiTable.SetDlgItemText(dialog, IDC_NOTOALL, GetMessageText(0, kMessageNoToAll));
}

static INT_PTR CALLBACK PromptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        LabelPrompt(dialog, reinterpret_cast<const WCHAR*>(lParam));
        return TRUE;
    case WM_COMMAND:
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

int AskReadOnlyFile(const WCHAR* path) {
    WCHAR text[kMessageBufferCch];
    FormatMessageText(text, kMessageReadOnly, path);
    if (!text[0]) return IDC_YESTOALL;
    int result = static_cast<int>(
        Platform.ApiTable.DialogBoxParam(Platform.ModuleInstance, MAKEINTRESOURCEW(IDD_READ_ONLY_PROMPT),
                                         Screen.MainWindow, PromptDialogProc, reinterpret_cast<LPARAM>(text)));
    return result == -1 ? IDNO : result;
}

int ShowMessage(const WCHAR* text, UINT type) {
    int answer = Platform.ApiTable.MessageBox(Screen.MainWindow, text, GetMessageText(0, kMessageCaption), type);
    LogPrint(text, "message answered %u: ", answer);
    return answer;
}

// The prompt's button as the file pass takes it; Esc and the close box (IDCANCEL) are a No.
static ReadOnlyAnswer AnswerReadOnlyFile(const WCHAR* path) {
    switch (AskReadOnlyFile(path)) {
    case IDYES: return kAnswerYes;
    case IDC_YESTOALL: return kAnswerYesToAll;
    case IDC_NOTOALL: return kAnswerNoToAll;
    default: return kAnswerNo;
    }
}

void ConnectPassUi() {
    Removal.PassUi.ShowProgress = SetProgress;
    Removal.PassUi.AskReadOnlyFile = AnswerReadOnlyFile;
    Removal.PassUi.AskQuestion = ShowMessage;
}

void PumpMessages() {
    MSG msg;
    if (!Platform.ApiTable.PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) return;
    do {
        BOOL got = Platform.ApiTable.GetMessage(&msg, nullptr, 0, 0);
        if (got == -1) return;
        if (got == 0) continue;  // WM_QUIT: only the main window's end may use it
        if (Screen.ProgressDialog && Platform.ApiTable.IsDialogMessage(Screen.ProgressDialog, &msg)) continue;
        ::TranslateMessage(&msg);
        Platform.ApiTable.DispatchMessage(&msg);
    } while (Platform.ApiTable.PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

void SetProgress(DWORD percent) {
    if (percent > 100) percent = 100;
    if (percent == Screen.LastPercent) return;
    Screen.LastPercent = percent;
    if (Screen.ProgressBar) Platform.ApiTable.SendMessage(Screen.ProgressBar, PBM_SETPOS, percent, 0);
    PumpMessages();
}

bool OpenProgressDialog() {
    Screen.ProgressDialog = Platform.ApiTable.CreateDialogParam(Platform.ModuleInstance, MAKEINTRESOURCEW(IDD_PROGRESS),
                                                                Screen.MainWindow, ProgressDialogProc, 0);
    if (!Screen.ProgressDialog) return false;
    Screen.ProgressBar = ::GetDlgItem(Screen.ProgressDialog, IDC_PROGRESS);
    Removal.ProgressTotal = Data.RegistryEntryCount + 2 * Data.FileEntryCount + Data.ShortcutEntryCount;
    ShowProgressText(kMessageRemovingFiles);
    return true;
}

void ShowProgressText(int message) {
    if (Screen.ProgressDialog)
        Platform.ApiTable.SetDlgItemText(Screen.ProgressDialog, IDC_TEXT, GetMessageText(0, message));
}

void CloseProgressDialog() {
    if (Screen.ProgressDialog) ::DestroyWindow(Screen.ProgressDialog);
    Screen.ProgressDialog = nullptr;
    Screen.ProgressBar = nullptr;
    Removal.ProgressTotal = 0;
}
