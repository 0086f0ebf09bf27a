// Installations laid for end-to-end tests, and runs of their uninstallers driven to the end.
#include "support/installation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/uninst_runner.h"
#include "support/window_driver.h"

namespace {

// Controls of the read-only prompt and the progress dialog.
const int kYesToAllButton = 1001, kTextControl = 1000;

std::u16string Relative(const std::wstring& sub) { return sub.empty() ? u"." : u".\\" + Utf16(sub); }

}  // namespace

Installer::Installer(Journal& journal, const std::wstring& installDir)
    : journal_(journal), installDir_(installDir), data_(StandardData()) {
    journal_.Folder(installDir);
}

void Installer::Folder(const std::wstring& sub) {
    journal_.Folder(Join(sub));
    data_.files.push_back({Relative(sub), u"", 0});
}

void Installer::File(const std::wstring& sub, const std::wstring& name, DWORD size, DWORD attributes) {
    journal_.File(Join(sub) + L"\\" + name, size, attributes);
    data_.files.push_back({Relative(sub), Utf16(name), 0});
}

void Installer::OutsideFile(const std::wstring& folder, const std::wstring& name, uint8_t flags, bool counted) {
    std::wstring path = folder + L"\\" + name;
    if (!Exists(path)) journal_.File(path, 4096);
    data_.files.push_back({Utf16(folder), Utf16(name), flags});
    if (counted) SetNumber(kHKLM, kSharedDllsPath, path, SharedCountOf(path).value_or(0) + 1);
}

void Installer::Shortcut(uint8_t levels, const std::wstring& first, const std::wstring& second,
                         const std::wstring& name) {
    journal_.Folder(first);
    if (!second.empty()) journal_.Folder(second);
    if (!name.empty()) journal_.File(first + L"\\" + name, 1200);
    data_.shortcuts.push_back({levels, Utf16(first), Utf16(second), Utf16(name)});
}

void Installer::SetText(uint32_t root, const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) {
    journal_.SetText(RootKey(root), keyPath, name, text);
}

void Installer::SetNumber(uint32_t root, const std::wstring& keyPath, const std::wstring& name, DWORD number) {
    journal_.SetNumber(RootKey(root), keyPath, name, number);
}

void Installer::KeyRecord(uint32_t root, const std::wstring& keyPath) {
    data_.registry.push_back({root, Utf16(keyPath)});
}

void Installer::ValueRecord(uint32_t root, const std::wstring& keyPath, const std::wstring& name) {
    data_.registry.push_back({root, Utf16(keyPath + L"\\\\" + name)});
}

std::wstring Installer::WriteProgram() {
    std::wstring exe = installDir_ + L"\\uninst.exe";
    EXPECT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(data_)));
    journal_.Add([exe] { DeleteFileW(exe.c_str()); });
    return exe;
}

namespace {

// The path that `formatted` puts in place of message's "%s", or empty when it is no such text.
std::wstring PathIn(const std::u16string& message, const std::wstring& formatted) {
    std::wstring text = Wide(message);
    size_t at = text.find(L"%s");
    std::wstring head = text.substr(0, at), tail = text.substr(at + 2);
    if (formatted.size() < head.size() + tail.size() || formatted.compare(0, head.size(), head) != 0 ||
        formatted.compare(formatted.size() - tail.size(), tail.size(), tail) != 0)
        return std::wstring();
    return formatted.substr(head.size(), formatted.size() - head.size() - tail.size());
}

}  // namespace

RunLog DriveRun(const std::wstring& exe, const std::wstring& options) {
    const std::vector<std::u16string> messages = StandardMessages();
    RunLog log;
    log.exitCode = kExitKilled;
    ChildProcess child;
    if (!child.Start(exe, options, /*watch*/ true)) return log;
    // A question of the run waiting for its answer: a message box or the read-only prompt.
    HWND window = nullptr;
    auto asks = [&] { return (window = FindDialogWith(child.Id(), {0xFFFF, kYesToAllButton})) != nullptr; };
    while (WaitUntil(asks, child.Handle(), kChildBoundMs)) {
        std::wstring text;
        int answer = IDYES;
        if (GetDlgItem(window, 0xFFFF)) {  // a message box
            text = MessageBoxText(window);
            std::wstring shared = PathIn(messages[10], text);
            answer = IDOK;
            if (text == Wide(messages[1])) {
                log.confirmation = true;
            } else if (text == Wide(messages[2])) {
                log.notice = true;
            } else if (!shared.empty()) {
                log.sharedAsked.push_back(shared);
                answer = IDYES;
            } else {
                log.unexpected.push_back(Utf8(text));
                answer = IDCANCEL;
            }
        } else {  // the read-only prompt
            text = WindowText(GetDlgItem(window, kTextControl));
            log.readOnlyAsked.push_back(PathIn(messages[9], text));
        }
        if (!AnswerBox(window, answer)) {
            ADD_FAILURE() << "could not answer " << Utf8(text);
            break;
        }
    }
    if (child.Running()) {
        ADD_FAILURE() << "the run did not end; confirmation " << log.confirmation << ", notice " << log.notice
                      << "; windows shown:\n" << Describe(child.Watch().shown);
    }
    log.exitCode = child.Wait();
    const WatchRecord watch = child.Watch();
    for (const std::wstring& shown : watch.shown)
        if (shown == ShownWindow(kDialogClass, Wide(messages[0]), L"")) log.progressDialog = true;
    for (const auto& text : watch.texts)
        for (int n = 11; n <= 14; ++n)
            if (text.first == kTextControl && text.second == Wide(messages[n])) log.stages.push_back(n);
    for (DWORD position : watch.positions)
        if (log.positions.empty() || log.positions.back() != position) log.positions.push_back(position);
    return log;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> paths) {
    for (std::wstring& path : paths) path = Lower(path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string Describe(const std::vector<std::wstring>& paths) {
    std::string out;
    for (const std::wstring& path : paths) out += Utf8(path) + "\n";
    return out;
}
