// End-to-end runs of the real uninst.exe for what the user sees around the removal: the
// confirmation, the running check while an application file is held open, the final notice,
// and quiet runs that show nothing. Each program start costs seconds, so each test is one run
// that walks through as many steps as it can; what a run showed in all is read from its watch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/uninst_runner.h"
#include "support/window_driver.h"

namespace {

class UninstallRun : public ::testing::Test {
protected:
    bool Write() { return WriteUninstaller(exe_, uninstpack::EncodeStream(data_)); }
    std::wstring Message(int n) const { return Wide(data_.messages[n]); }
    // Windows as the watch records them when they appear.
    std::wstring Box(int message) const { return ShownWindow(kDialogClass, Message(0), Message(message)); }
    std::wstring ProgressDialog() const { return ShownWindow(kDialogClass, Message(0), L""); }

    // Waits for a message box of the run, checks its text, buttons and owner (the hidden main
    // window) and returns it, or null after a failure.
    HWND ExpectBox(int message, std::vector<int> buttons) {
        HWND box = WaitForMessageBox(child_.Id(), child_.Handle());
        if (!box) {
            ADD_FAILURE() << "no box for message " << message;
            return nullptr;
        }
        EXPECT_EQ(Message(message), MessageBoxText(box)) << DescribeWindow(box);
        EXPECT_EQ(buttons, VisibleButtonIds(box)) << DescribeWindow(box);
        HWND owner = GetWindow(box, GW_OWNER);
        EXPECT_EQ(L"VorlixClass", WindowClass(owner));
        EXPECT_FALSE(IsWindowVisible(owner)) << "the main window is never shown";
        return box;
    }

    TempFolder dir_;
    const std::wstring exe_ = dir_.Join(L"uninst.exe");
    uninstpack::UninstallData data_ = StandardData();
    ChildProcess child_;  // the run
};

TEST_F(UninstallRun, ConfirmedRunEndsWithTheFinalNotice) {
    ASSERT_TRUE(Write());
    ASSERT_TRUE(child_.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    Shot(box, L"confirmation");
    EXPECT_TRUE(AnswerBox(box, IDOK));
    box = ExpectBox(2, {IDOK});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    EXPECT_EQ(0u, child_.Wait());
    EXPECT_EQ((std::vector<std::wstring>{Box(1), ProgressDialog(), Box(2)}), child_.Watch().shown);
    // Icon 800 of the program's own instance: the 9x family's GetModuleHandleW would give none.
    EXPECT_EQ(std::vector<std::wstring>{L"VorlixClass"}, child_.Watch().iconClasses);
}

TEST_F(UninstallRun, CancelledConfirmationEndsWithZeroAndShowsNothingMore) {
    ASSERT_TRUE(Write());
    ASSERT_TRUE(child_.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDCANCEL));
    EXPECT_EQ(0u, child_.Wait());
    EXPECT_EQ(std::vector<std::wstring>{Box(1)}, child_.Watch().shown);
}

TEST_F(UninstallRun, EmptyConfirmationIsStillAskedAndEmptyNoticeIsNotShown) {
    data_.messages[1] = u"";
    data_.messages[2] = u"";
    ASSERT_TRUE(Write());
    ASSERT_TRUE(child_.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    // A box after the empty notice would wait for an answer: the bound of the wait ends the run.
    EXPECT_EQ(0u, child_.Wait());
    EXPECT_EQ((std::vector<std::wstring>{Box(1), ProgressDialog()}), child_.Watch().shown);
}

class RunningCheck : public UninstallRun {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(app_, uninstpack::Bytes(32, 7)));
        // A folder record and an unguarded record besides the guarded one.
        data_.files = {{u".", u"", 0x08}, {u".", u"readme.txt", 0}, {u".", u"app.exe", 0x08}};
        ASSERT_TRUE(Write());
    }
    const std::wstring app_ = dir_.Join(L"app.exe");
};

TEST_F(RunningCheck, AsksWhileHeldAndGoesOnAfterRelease) {
    HeldFile held;
    ASSERT_TRUE(held.Hold(app_));
    ASSERT_TRUE(child_.Start(exe_, L""));
    HWND box = ExpectBox(1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    box = ExpectBox(15, {IDRETRY, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDRETRY));  // still held: asked again, in a new box
    box = ExpectBox(15, {IDRETRY, IDCANCEL});
    ASSERT_NE(nullptr, box);
    held.Release();
    EXPECT_TRUE(AnswerBox(box, IDRETRY));
    box = ExpectBox(2, {IDOK});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    EXPECT_EQ(0u, child_.Wait());
}

TEST_F(RunningCheck, CancelEndsWithZeroAndShowsNothingMore) {
    HeldFile held;
    ASSERT_TRUE(held.Hold(app_));
    ASSERT_TRUE(child_.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    box = ExpectBox(15, {IDRETRY, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDCANCEL));
    EXPECT_EQ(0u, child_.Wait());
    EXPECT_EQ((std::vector<std::wstring>{Box(1), Box(15)}), child_.Watch().shown);
}

TEST_F(RunningCheck, QuietRunDoesNotAskEvenWhileHeld) {
    HeldFile held;
    ASSERT_TRUE(held.Hold(app_));
    ASSERT_TRUE(child_.Start(exe_, L"/Q", /*watch*/ true));
    EXPECT_EQ(0u, child_.Wait());
    EXPECT_EQ(std::vector<std::wstring>{}, child_.Watch().shown);
}

}  // namespace
