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
    void SetUp() override {
        exe_ = dir_.Join(L"uninst.exe");
        data_ = StandardData();
    }
    bool Write() { return WriteUninstaller(exe_, uninstpack::EncodeStream(data_)); }
    std::wstring Message(int n) const { return Wide(data_.messages[n]); }
    // Windows as the watch records them when they appear.
    std::wstring Box(int message) const { return ShownWindow(kDialogClass, Message(0), Message(message)); }
    std::wstring ProgressDialog() const { return ShownWindow(kDialogClass, Message(0), L""); }

    // Waits for a message box of the run, checks its text, buttons and owner (the hidden main
    // window) and returns it, or null after a failure.
    HWND ExpectBox(ChildProcess& child, int message, std::vector<int> buttons) {
        HWND box = WaitForMessageBox(child.Id(), child.Handle());
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
    std::wstring exe_;
    uninstpack::UninstallData data_;
};

TEST_F(UninstallRun, ConfirmedRunEndsWithTheFinalNotice) {
    ASSERT_TRUE(Write());
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(child, 1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    Shot(box, L"confirmation");
    EXPECT_TRUE(AnswerBox(box, IDOK));
    box = ExpectBox(child, 2, {IDOK});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    EXPECT_EQ(0u, child.Wait());
    EXPECT_EQ((std::vector<std::wstring>{Box(1), ProgressDialog(), Box(2)}), child.Watch().shown);
    // Icon 800 of the program's own instance: the 9x family's GetModuleHandleW would give none.
    EXPECT_EQ(std::vector<std::wstring>{L"VorlixClass"}, child.Watch().iconClasses);
}

TEST_F(UninstallRun, CancelledConfirmationEndsWithZeroAndShowsNothingMore) {
    ASSERT_TRUE(Write());
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(child, 1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDCANCEL));
    EXPECT_EQ(0u, child.Wait());
    EXPECT_EQ(std::vector<std::wstring>{Box(1)}, child.Watch().shown);
}

TEST_F(UninstallRun, EmptyConfirmationIsStillAskedAndEmptyNoticeIsNotShown) {
    data_.messages[1] = u"";
    data_.messages[2] = u"";
    ASSERT_TRUE(Write());
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(child, 1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    // A box after the empty notice would wait for an answer: the bound of the wait ends the run.
    EXPECT_EQ(0u, child.Wait());
    EXPECT_EQ((std::vector<std::wstring>{Box(1), ProgressDialog()}), child.Watch().shown);
}

class RunningCheck : public UninstallRun {
protected:
    void SetUp() override {
        UninstallRun::SetUp();
        app_ = dir_.Join(L"app.exe");
        ASSERT_TRUE(WriteFileBytes(app_, uninstpack::Bytes(32, 7)));
        // A folder record and an unguarded record besides the guarded one.
        data_.files = {{u".", u"", 0x08}, {u".", u"readme.txt", 0}, {u".", u"app.exe", 0x08}};
        ASSERT_TRUE(Write());
    }
    std::wstring app_;
};

TEST_F(RunningCheck, AsksWhileHeldAndGoesOnAfterRelease) {
    HeldFile held;
    ASSERT_TRUE(held.Hold(app_));
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe_, L""));
    HWND box = ExpectBox(child, 1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    box = ExpectBox(child, 15, {IDRETRY, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDRETRY));  // still held: asked again, in a new box
    box = ExpectBox(child, 15, {IDRETRY, IDCANCEL});
    ASSERT_NE(nullptr, box);
    held.Release();
    EXPECT_TRUE(AnswerBox(box, IDRETRY));
    box = ExpectBox(child, 2, {IDOK});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    EXPECT_EQ(0u, child.Wait());
}

TEST_F(RunningCheck, CancelEndsWithZeroAndShowsNothingMore) {
    HeldFile held;
    ASSERT_TRUE(held.Hold(app_));
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe_, L"", /*watch*/ true));
    HWND box = ExpectBox(child, 1, {IDOK, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    box = ExpectBox(child, 15, {IDRETRY, IDCANCEL});
    ASSERT_NE(nullptr, box);
    EXPECT_TRUE(AnswerBox(box, IDCANCEL));
    EXPECT_EQ(0u, child.Wait());
    EXPECT_EQ((std::vector<std::wstring>{Box(1), Box(15)}), child.Watch().shown);
}

TEST_F(RunningCheck, QuietRunDoesNotAskEvenWhileHeld) {
    HeldFile held;
    ASSERT_TRUE(held.Hold(app_));
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe_, L"/Q", /*watch*/ true));
    EXPECT_EQ(0u, child.Wait());
    EXPECT_EQ(std::vector<std::wstring>{}, child.Watch().shown);
}

}  // namespace
