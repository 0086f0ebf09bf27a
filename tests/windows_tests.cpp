// In-process tests of the run's windows: the resources of the built uninst.exe, the progress
// accounting and pump, the main window, both dialog procedures, the read-only prompt, a pass
// asking through them, and the running check. Dialogs are made from uninst.exe loaded as a data
// file, so they are the very templates the program ships.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data/install_records.h"
#include "folders/resolve_folder.h"
#include "removal/file_pass.h"
#include "removal/record_paths.h"
#include "run/ui_windows.h"
#include "support/member_guard.h"
#include "support/fake_pass_ui.h"
#include "support/loaded_data.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"
#include "support/window_driver.h"

using uninstpack::Bytes;

namespace {

// ---------------------------------------------------------------------------------------------
// Resources read from the built program

struct DialogItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::wstring className, text;
};
struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, className, title, face;
    WORD pointSize = 0;
    std::vector<DialogItem> items;
};

// A text of a DIALOG template: 0 (none), 0xFFFF and an ordinal, or a zero-terminated string.
// The predefined control classes are stored as ordinals; they are named here as they are written.
std::wstring ReadNameOrOrdinal(const WORD*& p) {
    if (*p == 0) {
        ++p;
        return L"";
    }
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return L"BUTTON";
        case 0x82: return L"STATIC";
        default: return L"#" + std::to_wstring(ordinal);
        }
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

const WORD* AlignDword(const WORD* p, const BYTE* base) {
    size_t offset = reinterpret_cast<const BYTE*>(p) - base;
    return reinterpret_cast<const WORD*>(base + ((offset + 3) & ~size_t(3)));
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(BinPath(L"uninst.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_) << GetLastError();
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }

    // The resource's bytes in US English (1033), or empty.
    std::vector<BYTE> Resource(LPCWSTR type, int id, WORD language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), language);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const BYTE* bytes = static_cast<const BYTE*>(LockResource(loaded));
        return std::vector<BYTE>(bytes, bytes + SizeofResource(module_, found));
    }

    DialogTemplate Dialog(int id) {
        DialogTemplate d;
        std::vector<BYTE> bytes = Resource(RT_DIALOG, id);
        EXPECT_FALSE(bytes.empty()) << "dialog " << id << " in language 1033";
        if (bytes.size() < sizeof(DLGTEMPLATE)) return d;
        const BYTE* base = bytes.data();
        DLGTEMPLATE head;
        memcpy(&head, base, sizeof(head));
        d.style = head.style;
        d.exStyle = head.dwExtendedStyle;
        d.x = head.x, d.y = head.y, d.cx = head.cx, d.cy = head.cy;
        const WORD* p = reinterpret_cast<const WORD*>(base + 18);
        d.menu = ReadNameOrOrdinal(p);
        d.className = ReadNameOrOrdinal(p);
        d.title = ReadNameOrOrdinal(p);
        if (d.style & DS_SETFONT) {
            d.pointSize = *p++;
            d.face = ReadNameOrOrdinal(p);
        }
        for (int i = 0; i < head.cdit; ++i) {
            p = AlignDword(p, base);
            DLGITEMTEMPLATE item;
            memcpy(&item, p, sizeof(item));
            p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + 18);
            DialogItem out{item.style, item.x, item.y, item.cx, item.cy, item.id, L"", L""};
            out.className = ReadNameOrOrdinal(p);
            out.text = ReadNameOrOrdinal(p);
            WORD extra = *p++;
            p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
            EXPECT_EQ(0u, item.dwExtendedStyle) << "control " << item.id;
            d.items.push_back(out);
        }
        return d;
    }

    HMODULE module_ = nullptr;
};

void ExpectItems(const DialogTemplate& d, const std::vector<DialogItem>& expected) {
    ASSERT_EQ(expected.size(), d.items.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "control " << i << " (id " << expected[i].id << ")");
        const DialogItem& a = d.items[i];
        const DialogItem& e = expected[i];
        EXPECT_EQ(e.id, a.id);
        // windres writes class names in capitals; the system compares them without case.
        EXPECT_EQ(0, _wcsicmp(e.className.c_str(), a.className.c_str())) << std::string(a.className.begin(), a.className.end());
        EXPECT_EQ(e.text, a.text);
        EXPECT_EQ(e.style, a.style);
        EXPECT_EQ(e.x, a.x);
        EXPECT_EQ(e.y, a.y);
        EXPECT_EQ(e.cx, a.cx);
        EXPECT_EQ(e.cy, a.cy);
    }
}

void ExpectDialogFrame(const DialogTemplate& d, DWORD style) {
    EXPECT_EQ(style, d.style);
    EXPECT_EQ(0u, d.exStyle);
    EXPECT_EQ(0, d.x);
    EXPECT_EQ(0, d.y);
    EXPECT_EQ(257, d.cx);
    EXPECT_EQ(73, d.cy);
    EXPECT_EQ(L"", d.menu);
    EXPECT_EQ(L"", d.className);
    EXPECT_EQ(L"", d.title);
    EXPECT_EQ(8, d.pointSize);
    EXPECT_EQ(L"Tahoma", d.face);
}

TEST_F(ProgramResources, PromptDialog109MatchesItsTable) {
    DialogTemplate d = Dialog(109);
    ExpectDialogFrame(d, 0x80C800C0);
    ExpectItems(d, {
                       {0x50010001, 20, 52, 50, 14, 6, L"BUTTON", L""},
                       {0x50010000, 75, 52, 50, 14, 1001, L"BUTTON", L""},
                       {0x50020000, 7, 7, 243, 36, 1000, L"STATIC", L""},
                       {0x50010000, 130, 52, 50, 14, 7, L"BUTTON", L""},
                       {0x50010000, 186, 52, 50, 14, 1002, L"BUTTON", L""},
                   });
}

TEST_F(ProgramResources, ProgressDialog110MatchesItsTable) {
    DialogTemplate d = Dialog(110);
    ExpectDialogFrame(d, 0x90C800C0);
    ExpectItems(d, {
                       {0x50020080, 7, 24, 243, 8, 1000, L"STATIC", L""},
                       {0x50000000, 7, 38, 243, 12, 1009, L"msctls_progress32", L"Progress1"},
                   });
}

TEST_F(ProgramResources, IconGroup800HoldsFiveImages) {
    std::vector<BYTE> group = Resource(RT_GROUP_ICON, 800);
    ASSERT_GE(group.size(), 6u);
    WORD type, count;
    memcpy(&type, &group[2], 2);
    memcpy(&count, &group[4], 2);
    EXPECT_EQ(1, type);
    ASSERT_EQ(5, count);
    ASSERT_EQ(6u + 5 * 14, group.size());

    struct Image {
        int size, colours, bits;
    };
    const Image expected[] = {{16, 16, 4}, {16, 0, 8}, {32, 16, 4}, {32, 0, 8}, {48, 0, 8}};
    std::vector<bool> seen(5, false);
    for (int i = 0; i < 5; ++i) {
        const BYTE* entry = &group[6 + 14 * i];
        WORD bitCount, id;
        memcpy(&bitCount, entry + 6, 2);
        memcpy(&id, entry + 12, 2);
        SCOPED_TRACE(testing::Message() << "entry " << i << " id " << id);
        int match = -1;
        for (int k = 0; k < 5; ++k) {
            if (expected[k].size == entry[0] && expected[k].size == entry[1] && expected[k].colours == entry[2] &&
                expected[k].bits == bitCount)
                match = k;
        }
        ASSERT_NE(-1, match) << int(entry[0]) << "x" << int(entry[1]) << " colours " << int(entry[2]) << " bits "
                             << bitCount;
        EXPECT_FALSE(seen[match]) << "the same image twice";
        seen[match] = true;
        // The image itself must agree with its directory entry.
        std::vector<BYTE> image = Resource(RT_ICON, id);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof(header));
        EXPECT_EQ(expected[match].size, header.biWidth);
        EXPECT_EQ(2 * expected[match].size, header.biHeight);  // colour and mask
        EXPECT_EQ(expected[match].bits, header.biBitCount);
        // The palettes hold only the colours used: the image must still draw as designed,
        // white bar across the middle, transparent corners.
        int n = expected[match].size;
        HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, n,
                                              n, LR_DEFAULTCOLOR);
        ASSERT_NE(nullptr, icon);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, n, n);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all = {0, 0, n, n};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, n, n, 0, nullptr, DI_NORMAL));
        EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, n / 2, n / 2));
        EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 0, 0));
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        DestroyIcon(icon);
    }
}

TEST_F(ProgramResources, ManifestAsksForAdministratorAndCommonControls6) {
    std::vector<BYTE> bytes = Resource(RT_MANIFEST, 1, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (bytes.empty()) bytes = Resource(RT_MANIFEST, 1);
    ASSERT_FALSE(bytes.empty());
    std::string xml(bytes.begin(), bytes.end());
    const char* const fields[] = {
        R"(<assemblyIdentity version="1.0.0.0" processorArchitecture="X86" name="UninstallProgram" type="win32"/>)",
        "<description>Uninstall Program</description>",
        R"(<assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" )"
        R"(processorArchitecture="X86" publicKeyToken="6595b64144ccf1df" language="*"/>)",
        R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)",
        R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)",
    };
    for (const char* field : fields) EXPECT_NE(std::string::npos, xml.find(field)) << field;
    size_t first = xml.find("<supportedOS");
    EXPECT_EQ(std::string::npos, xml.find("<supportedOS", first + 1)) << "a single supportedOS";
}

// ---------------------------------------------------------------------------------------------
// Progress accounting and the pump

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
};
std::vector<SentMessage> g_sent;
int g_peeks = 0;

LRESULT WINAPI RecordSend(HWND window, UINT message, WPARAM wParam, LPARAM) {
    g_sent.push_back({window, message, wParam});
    return 0;
}
BOOL WINAPI CountPeek(LPMSG, HWND, UINT, UINT, UINT) {
    ++g_peeks;
    return FALSE;
}

class ProgressReports : public ProgramTest {
protected:
    void SetUp() override {
        g_sent.clear();
        g_peeks = 0;
        Screen.ProgressBar = reinterpret_cast<HWND>(0x4242);
    }
    // Percentages sent to the bar since the last call.
    std::vector<WPARAM> Sent() {
        std::vector<WPARAM> out;
        for (const SentMessage& m : g_sent) {
            EXPECT_EQ(Screen.ProgressBar, m.window);
            EXPECT_EQ(static_cast<UINT>(PBM_SETPOS), m.message);
            out.push_back(m.wParam);
        }
        g_sent.clear();
        return out;
    }
    API_GUARD_MEMBER(SendMessage, RecordSend);
    API_GUARD_MEMBER(PeekMessage, CountPeek);
};

TEST_F(ProgressReports, SetProgressSendsOnlyChangesAndPumpsOncePerChange) {
    struct Step {
        DWORD percent;
        std::vector<WPARAM> sent;
        int pumps;
    };
    const Step steps[] = {
        {0, {}, 0},            // the bar starts at 0: a first report of 0 does nothing
        {40, {40}, 1},
        {40, {}, 0},           // repeated value
        {250, {100}, 1},       // above 100 counts as 100
        {100, {}, 0},
        {0xFFFFFFFF, {}, 0},   // unsigned: still 100
        {99, {99}, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.percent);
        g_peeks = 0;
        SetProgress(step.percent);
        EXPECT_EQ(step.sent, Sent());
        EXPECT_EQ(step.pumps, g_peeks);
    }
}

TEST_F(ProgressReports, WithoutBarStillPumpsOnChange) {
    Screen.ProgressBar = nullptr;
    SetProgress(5);
    EXPECT_TRUE(g_sent.empty());
    EXPECT_EQ(1, g_peeks);
}

TEST_F(ProgressReports, ReportProgressScalesToTotalAndIsSilentWithoutTotal) {
    FakePassUi ui;
    ReportProgress(7);
    EXPECT_TRUE(ui.progress.empty()) << "ProgressTotal 0: nothing is reported";

    struct Case {
        DWORD total, position, percent;
    };
    const Case cases[] = {
        {3, 1, 33},
        {3, 2, 66},
        {3, 3, 100},
        {200, 1, 0},                      // truncates
        {0xFFFFFFFF, 0xFFFFFFFE, 99},     // would wrap in 32 bits
        {0x80000000, 0x40000000, 50},
        {3, 4, 100},                      // beyond the total: never above 100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << "/" << c.total);
        ui.Forget();
        Removal.ProgressTotal = c.total;
        ReportProgress(c.position);
        EXPECT_EQ(std::vector<DWORD>{c.percent}, ui.progress);
    }
}

// The stretches lie in run order and tile the total, so the bar never moves back between passes.
TEST_F(ProgressReports, PassStretchesFollowRunOrder) {
    Data.FileEntryCount = 3;
    Data.ShortcutEntryCount = 2;
    Data.RegistryEntryCount = 4;
    EXPECT_EQ(0u, FilePassBase());
    EXPECT_EQ(3u, ShortcutPassBase());
    EXPECT_EQ(5u, EmptiedFolderPassBase());
    EXPECT_EQ(8u, RegistryPassBase());
    EXPECT_EQ(12u, RegistryPassBase() + Data.RegistryEntryCount);  // R + 2F + S
}

int g_dispatched = 0;
LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++g_dispatched;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeCountingWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"WindowsTestsCounter";
        registered = RegisterClassW(&wc) != 0;
    }
    return CreateWindowExW(0, L"WindowsTestsCounter", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

TEST(PumpMessages, DispatchesEverythingQueuedDropsQuitAndReturnsWhenEmpty) {
    HWND window = MakeCountingWindow();
    ASSERT_NE(nullptr, window);
    g_dispatched = 0;
    PostMessageW(window, WM_APP, 0, 0);
    PostQuitMessage(0);
    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    PumpMessages();
    EXPECT_EQ(3, g_dispatched);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "message " << msg.message << " left";
    PumpMessages();  // an empty queue: returns at once
    EXPECT_EQ(3, g_dispatched);
    DestroyWindow(window);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

// ---------------------------------------------------------------------------------------------
// Windows and dialogs, made from the program's own resources

class RunWindows : public WindowedTest {
protected:
    void TearDown() override {
        CloseProgressDialog();
        DeleteDialogFont();
        WindowedTest::TearDown();
    }
};

std::wstring Message(int n) { return Wide(StandardMessages()[n]); }

TEST_F(RunWindows, MainWindowIsHiddenCentredAndDrainsItsQueueOnDestroy) {
    HWND window = Screen.MainWindow;
    EXPECT_EQ(L"VorlixClass", WindowClass(window));
    EXPECT_EQ(Message(0), WindowText(window));
    EXPECT_FALSE(IsWindowVisible(window));
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(DWORD(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              DWORD(GetWindowLongW(window, GWL_STYLE)) & ~DWORD(WS_VISIBLE | WS_CLIPSIBLINGS));
    RECT r;
    ASSERT_TRUE(GetWindowRect(window, &r));
    EXPECT_EQ(320, r.right - r.left);
    EXPECT_EQ(200, r.bottom - r.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 320) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 200) / 2, r.top);
    WNDCLASSW wc;
    ASSERT_TRUE(GetClassInfoW(resources_, L"VorlixClass", &wc));
    EXPECT_EQ(UINT(CS_HREDRAW | CS_VREDRAW), wc.style);
    EXPECT_NE(nullptr, wc.hIcon) << "icon 800";

    HWND counter = MakeCountingWindow();
    g_dispatched = 0;
    PostMessageW(counter, WM_APP, 0, 0);
    DestroyMainWindow();
    EXPECT_EQ(nullptr, Screen.MainWindow);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, g_dispatched) << "the queue is drained up to WM_QUIT";
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "WM_QUIT was consumed";
    DestroyWindow(counter);
}

TEST_F(RunWindows, ProgressDialogShowsTitleAndStageTextsAndCannotBeClosed) {
    ASSERT_TRUE(LoadFileRecords({{u"C:\\a", u"x.dll", 0}, {u"C:\\a", u"y.dll", 0}}));
    // Owned by the main window, as in a run (the window manager maximizes an unowned dialog).
    ASSERT_TRUE(OpenProgressDialog());
    EXPECT_EQ(Screen.MainWindow, GetWindow(Screen.ProgressDialog, GW_OWNER));
    HWND dialog = Screen.ProgressDialog;
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(Message(0), WindowText(dialog));
    EXPECT_EQ(Message(11), WindowText(GetDlgItem(dialog, IDC_TEXT)));
    EXPECT_EQ(GetDlgItem(dialog, IDC_PROGRESS), Screen.ProgressBar);
    EXPECT_EQ(4u, Removal.ProgressTotal) << "R + 2F + S with two file records";
    PBRANGE range;
    SendMessageW(Screen.ProgressBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(100, range.iHigh);

    // Every child has the normal-weight copy of the dialog font.
    ASSERT_NE(nullptr, Screen.DialogFont);
    LOGFONTW font;
    ASSERT_TRUE(GetObjectW(Screen.DialogFont, sizeof(font), &font));
    EXPECT_EQ(FW_NORMAL, font.lfWeight);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EXPECT_EQ(reinterpret_cast<WPARAM>(Screen.DialogFont), SendMessageW(child, WM_GETFONT, 0, 0));

    for (int stage : {12, 13, 14}) {
        ShowProgressText(stage);
        EXPECT_EQ(Message(stage), WindowText(GetDlgItem(dialog, IDC_TEXT)));
    }

    // Esc through the pump (as a user's key press arrives), the close box, and a plain IDCANCEL.
    SendEscape(dialog);
    PumpMessages();
    SendClose(dialog);
    PumpMessages();
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(1, GetWindowLongW(dialog, DWL_MSGRESULT));

    ShowProgressText(11);
    ReportProgress(1);
    EXPECT_EQ(25, SendMessageW(Screen.ProgressBar, PBM_GETPOS, 0, 0));
    Shot(dialog, L"progress");
    SetProgress(250);
    EXPECT_EQ(100, SendMessageW(Screen.ProgressBar, PBM_GETPOS, 0, 0));

    CloseProgressDialog();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(0u, Removal.ProgressTotal) << "no reports after the dialog has gone";
}

// Answers the prompt from a second thread, as a user would, and returns AskReadOnlyFile's result.
template <typename Act>
int AnswerPrompt(const std::wstring& path, Act act, std::wstring* shownText = nullptr) {
    std::thread driver([&] {
        HWND dialog = WaitForWindow(GetCurrentProcessId(), nullptr, kDialogClass, Message(0).c_str());
        if (!dialog) return;
        if (shownText) {
            *shownText = L"";
            for (const ControlInfo& c : ListControls(dialog)) *shownText += std::to_wstring(c.id) + L"=" + c.text + L";";
            *shownText += L"owner=" + std::to_wstring(GetWindow(dialog, GW_OWNER) == Screen.MainWindow);
        }
        act(dialog);
    });
    int result = AskReadOnlyFile(path.c_str());
    driver.join();
    return result;
}

TEST_F(RunWindows, ReadOnlyPromptShowsMessage9AndLabelsAndReturnsTheButton) {
    const std::wstring path = L"C:\\Program Files\\Tool\\readme.txt";
    std::wstring shown;
    std::wstring hidden;
    EXPECT_EQ(IDYES, AnswerPrompt(path, [&hidden](HWND d) {
                  Shot(d, L"read-only-prompt");
                  // Every button must be one the user can see and reach inside the dialog.
                  RECT client;
                  GetClientRect(d, &client);
                  for (int id : {IDYES, IDC_YESTOALL, IDNO, IDC_NOTOALL}) {
                      HWND button = GetDlgItem(d, id);
                      RECT r = {};
                      GetWindowRect(button, &r);
                      MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
                      if (!IsWindowVisible(button) || r.left < 0 || r.right > client.right || r.bottom > client.bottom)
                          hidden += std::to_wstring(id) + L" ";
                  }
                  PressButton(d, IDYES);
              }, &shown));
    EXPECT_EQ(L"", hidden) << "buttons not visible inside the dialog";
    EXPECT_EQ(L"6=" + Message(3) + L";1001=" + Message(4) + L";1000=" + FormatWith(StandardMessages()[9], path) +
                  L";7=" + Message(5) + L";1002=" + Message(6) + L";owner=1",
              shown);

    struct Case {
        const char* name;
        int button;  // 0: Esc
        int result;
    };
    const Case cases[] = {
        {"yes to all", IDC_YESTOALL, IDC_YESTOALL},
        {"no", IDNO, IDNO},
        {"no to all", IDC_NOTOALL, IDC_NOTOALL},
        {"Esc", 0, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, AnswerPrompt(path, [&](HWND d) {
                      if (c.button) PressButton(d, c.button);
                      else PressEscape(d);
                  }));
    }
}

int g_dialogCalls = 0;
INT_PTR WINAPI FailingDialog(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) {
    ++g_dialogCalls;
    return -1;
}

TEST_F(RunWindows, ReadOnlyPromptWithoutDialogSaysNoAndEmptyMessage9SaysYesToAll) {
    API_GUARD(DialogBoxParam, FailingDialog);
    g_dialogCalls = 0;
    EXPECT_EQ(IDNO, AskReadOnlyFile(L"C:\\x.txt"));
    EXPECT_EQ(1, g_dialogCalls);

    std::vector<std::u16string> messages = StandardMessages();
    messages[9] = u"";
    ASSERT_TRUE(LoadMessages(messages));
    g_dialogCalls = 0;
    EXPECT_EQ(IDC_YESTOALL, AskReadOnlyFile(L"C:\\x.txt"));
    EXPECT_EQ(0, g_dialogCalls) << "an empty question is not asked";
}

// The one run of a pass through the table as ConnectPassUi fills it, answered in the real
// dialogs: the shared-file question as a message box, Esc on the read-only prompt as a No.
TEST_F(RunWindows, FilePassAsksThroughTheRunsOwnDialogs) {
    TempFolder dir;
    SetInstallDir(dir.Path());
    const std::wstring shared = dir.Join(L"shared.dll"), kept = dir.Join(L"kept.txt"), gone = dir.Join(L"gone.txt");
    ASSERT_TRUE(MakeFile(shared));
    ASSERT_TRUE(MakeFile(kept, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(gone, FILE_ATTRIBUTE_READONLY));
    SharedCount count(shared);
    ASSERT_TRUE(count.Set(1));
    ASSERT_TRUE(LoadFileRecords({{u".", u"shared.dll", kFileShared}, {u".", u"gone.txt", 0}, {u".", u"kept.txt", 0}}));
    std::vector<std::wstring> shown;
    std::thread user([&] {  // answers in the order the pass asks: the records last to first
        for (int answer : {IDCANCEL, IDC_YESTOALL, IDYES}) {
            HWND dialog = WaitForWindow(GetCurrentProcessId(), nullptr, kDialogClass, Message(0).c_str());
            if (!dialog) return;
            bool prompt = GetDlgItem(dialog, IDC_YESTOALL) != nullptr;
            shown.push_back(prompt ? WindowText(GetDlgItem(dialog, IDC_TEXT)) : MessageBoxText(dialog));
            if (answer == IDCANCEL) PressEscape(dialog);
            else AnswerBox(dialog, answer);
        }
    });
    RemoveInstalledFiles();
    user.join();
    EXPECT_EQ((std::vector<std::wstring>{FormatWith(StandardMessages()[9], kept),
                                         FormatWith(StandardMessages()[9], gone),
                                         FormatWith(StandardMessages()[10], shared)}),
              shown);
    EXPECT_TRUE(Exists(kept));
    EXPECT_FALSE(Exists(gone));
    EXPECT_FALSE(Exists(shared));
    EXPECT_EQ(1, Removal.YesToAllState);
}

// ---------------------------------------------------------------------------------------------
// The running check

// A record's path: the dot rule, a leading macro, and nothing that is not full afterwards.
TEST_F(RunWindows, BuildFileRecordPathExpandsALeadingMacroAndUsesOnlyFullPaths) {
    SetInstallDir(L"C:\\App");
    WCHAR fonts[MAX_PATH];
    ASSERT_TRUE(ResolveFolder(fonts, CSIDL_FONTS));
    const std::wstring f = fonts;
    struct Case {
        std::wstring directory;
        const wchar_t* fileName;
        std::wstring expected;  // empty: refused with the verdict
        PathVerdict verdict;
    };
    const Case cases[] = {
        {L".", L"a.dll", L"C:\\App\\a.dll", PathUsable},
        {L".\\bin", L"a.dll", L"C:\\App\\bin\\a.dll", PathUsable},
        {L".\\bin\\", L"a.dll", L"C:\\App\\bin\\a.dll", PathUsable},
        {L".x", L"a.dll", L"C:\\App\\a.dll", PathUsable},  // only ".\" continues with the rest
        {L"D:\\Other", L"a.dll", L"D:\\Other\\a.dll", PathUsable},
        {L"D:\\Other", L"", L"D:\\Other", PathUsable},
        {L"\\\\srv\\share\\d", L"a", L"\\\\srv\\share\\d\\a", PathUsable},
        {L"\\\\?\\D:\\d", L"a", L"\\\\?\\D:\\d\\a", PathUsable},
        {L"\\\\?\\unc\\srv\\share", L"a", L"\\\\?\\unc\\srv\\share\\a", PathUsable},
        {L"#Fonts#", L"a.ttf", f + L"\\a.ttf", PathUsable},
        {L"#fonts#\\sub", L"", f + L"\\sub", PathUsable},
        {L"#InstallDir#\\bin", L"a.dll", L"C:\\App\\bin\\a.dll", PathUsable},
        {L"D:\\x#Fonts#", L"a", L"D:\\x#Fonts#\\a", PathUsable},  // a later "#" is part of a name
        {L"#Nowhere#", L"stray.txt", L"", PathUnknownMacro},
        {L"#Fonts", L"a", L"", PathUnknownMacro},
        {L"Nowhere", L"stray.txt", L"", PathNotFull},
        {L"", L"stray.txt", L"", PathNotFull},
        {L"\\Nowhere", L"a", L"", PathNotFull},
        {L"D:Nowhere", L"a", L"", PathNotFull},
        {L"\\\\.\\C:\\x", L"a", L"", PathNotFull},
        {L"\\??\\C:\\x", L"a", L"", PathNotFull},
        {L"\\\\?\\GLOBALROOT\\Device\\x", L"a", L"", PathNotFull},
        {L"\\\\?\\UNC\\", L"", L"", PathNotFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.directory));
        EXPECT_EQ(c.verdict, BuildFileRecordPath(c.directory.c_str(), c.fileName, Paths.WorkPath));
        EXPECT_EQ(c.expected, std::wstring(Paths.WorkPath));
    }
    // Bounds: "C:\App\" (7) + "d\" (2) + name; 259 characters fit, 260 do not.
    for (const wchar_t* directory : {L".\\d", L"#InstallDir#\\d"}) {
        for (size_t length : {258u, 259u, 260u}) {
            SCOPED_TRACE(length);
            std::wstring name(length - 9, L'n');
            PathVerdict verdict = BuildFileRecordPath(directory, name.c_str(), Paths.WorkPath);
            EXPECT_EQ(length <= 259 ? PathUsable : PathTooLong, verdict);
            EXPECT_EQ(verdict == PathUsable ? L"C:\\App\\d\\" + name : L"", std::wstring(Paths.WorkPath));
        }
    }
    // A macro whose folder does not resolve here is refused too.
    API_GUARD(SHGetPathFromIDList, ShellPathFails);
    EXPECT_EQ(PathUnknownMacro, BuildFileRecordPath(L"#Fonts#", L"a.ttf", Paths.WorkPath));
}

TEST_F(RunWindows, CheckFilesInUseFindsOnlyHeldGuardedFiles) {
    TempFolder dir;
    std::wstring held = dir.Join(L"app.exe");
    std::wstring other = dir.Join(L"other.dll");
    ASSERT_TRUE(WriteFileBytes(held, Bytes(16, 1)));
    ASSERT_TRUE(WriteFileBytes(other, Bytes(16, 2)));
    SetInstallDir(dir.Path());
    const uint8_t guard = kFileInUseCheck;
    const std::u16string folder = Utf16(dir.Path());

    HeldFile holder;
    ASSERT_TRUE(holder.Hold(held));
    struct Case {
        const char* name;
        std::vector<uninstpack::FileRecord> records;
        bool inUse;
    };
    const std::u16string tooLong(300, u'z');
    const Case cases[] = {
        {"guarded and held, by the dot rule", {{u"other", u"x", 0}, {u".", u"app.exe", guard}}, true},
        {"guarded and held, full folder", {{folder, u"app.exe", guard}}, true},
        {"held but not guarded", {{u".", u"app.exe", 0}}, false},
        {"guarded, not held", {{u".", u"other.dll", guard}}, false},
        {"guarded, missing", {{u".", u"gone.dll", guard}}, false},
        {"guarded folder record", {{folder, u"", guard}}, false},
        {"guarded path too long for WorkPath", {{u".\\" + tooLong, u"app.exe", guard}}, false},
        {"no records", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReleaseUninstallData();
        ASSERT_TRUE(LoadMessages(StandardMessages()));
        ASSERT_TRUE(LoadFileRecords(c.records));
        EXPECT_EQ(c.inUse, CheckFilesInUse());
    }
    holder.Release();
    ReleaseUninstallData();
    ASSERT_TRUE(LoadFileRecords({{u".", u"app.exe", guard}}));
    EXPECT_FALSE(CheckFilesInUse()) << "released by the other process";
}

}  // namespace
