// The command line: options, their arguments, and what ends the parsing.
#include <gtest/gtest.h>
#include <string>
#include "run/command_line.h"
#include "run/session.h"
#include "support/program_test.h"

namespace {

// The run's options are put back after each test.
using CommandLine = ProgramTest;

struct ParsedLine { int quiet, optionS, optionX; std::wstring workPath, logPath; };

// Parses `line` from a session without options.
ParsedLine Parse(const wchar_t* line) {
    WCHAR path[kPathCapacity] = {L'?', 0};
    Session = SessionState{};
    ParseCommandLine(line, path);
    return ParsedLine{Session.Quiet, Session.OptionS, Session.OptionX, path, Session.LogPath};
}

struct Case {
    const wchar_t* line;
    int quiet, optionS, optionX;
    const wchar_t* workPath;
    const wchar_t* logPath = L"";
};

const Case kCases[] = {
    // The program name alone, quoted or not, or without the blank or quote that ends it.
    {L"\"C:\\Program Files\\App\\uninst.exe\"", 0, 0, 0, L""},
    {L"uninst.exe", 0, 0, 0, L""},
    {L"\"C:\\App\\uninst.exe /S", 0, 0, 0, L""},
    {L"uninst.exe /S", 1, 1, 0, L""},
    {L"\"C:\\My App\\uninst.exe\" /S", 1, 1, 0, L""},
    {L"\"C:\\My App\\uninst.exe\"/S", 1, 1, 0, L""},
    // Letters in either case, any word after the letter, several options in one word.
    {L"u /q", 1, 0, 0, L""},
    {L"u -Q", 1, 0, 0, L""},
    {L"u /Qanything", 1, 0, 0, L""},
    {L"u /q/x", 1, 0, 1, L""},
    {L"u -Qfoo-X", 1, 0, 1, L""},
    {L"u /Z /S", 1, 1, 0, L""},
    {L"u    /x    /s   ", 1, 1, 1, L""},
    // Parsing ends at the first word that is not an option, and at a lone dash or slash.
    {L"u /Q file /S", 1, 0, 0, L""},
    {L"u /Q /", 1, 0, 0, L""},
    {L"u -", 0, 0, 0, L""},
    // The /D argument: quoted (blanks kept), unquoted (ends at a blank), right after the letter.
    {L"u /D\"C:\\My App\\uninst.exe\" /S", 1, 1, 0, L"C:\\My App\\uninst.exe"},
    {L"u /D C:\\App\\uninst.exe /Q", 1, 0, 0, L"C:\\App\\uninst.exe"},
    {L"u /DC:\\App\\u.exe", 0, 0, 0, L"C:\\App\\u.exe"},
    {L"u -d   \"C:\\a b\"", 0, 0, 0, L"C:\\a b"},
    {L"u /D\"C:\\no closing quote", 0, 0, 0, L"C:\\no closing quote"},
    // A dash or slash inside the argument starts no option; /D /Q takes /Q as the path.
    {L"u /D C:\\a-b/c", 0, 0, 0, L"C:\\a-b/c"},
    {L"u /D /Q", 0, 0, 0, L"/Q"},
    // An empty argument, or /D at the end of the line, leaves WorkPath empty.
    {L"u /D", 0, 0, 0, L""},
    {L"u /D \"\" /S", 1, 1, 0, L""},
    // Flags are only ever set: a later /D argument replaces the earlier one.
    {L"u /S /Q /D a /D b", 1, 1, 0, L"b"},
    // The log's full path, read as /D's argument is (so -d inside it is no option), also after
    // LOG= in any case and on a share. Anything else opens no log and is read as before /L
    // existed: an option after it counts, a word that is no option ends the parsing.
    {L"u /L C:\\x-d\\u.log /S", 1, 1, 0, L"", L"C:\\x-d\\u.log"},
    {L"u -Log=\"C:\\My Logs\\u.log\"/q", 1, 0, 0, L"", L"C:\\My Logs\\u.log"},
    {L"u /lC:\\u.log", 0, 0, 0, L"", L"C:\\u.log"},
    {L"u /LOG=\\\\srv\\logs\\u.log", 0, 0, 0, L"", L"\\\\srv\\logs\\u.log"},
    {L"u /L /S", 1, 1, 0, L""},
    {L"u /LOG= -x", 1, 0, 1, L""},
    {L"u /L u.log /S", 0, 0, 0, L""},
    {L"u /Lfoo /q", 1, 0, 0, L""},
};

TEST_F(CommandLine, OptionsAndArguments) {
    for (const Case& c : kCases) {
        ParsedLine p = Parse(c.line);
        SCOPED_TRACE(testing::Message() << "line: " << std::string(c.line, c.line + wcslen(c.line)));
        EXPECT_EQ(p.quiet, c.quiet);
        EXPECT_EQ(p.optionS, c.optionS);
        EXPECT_EQ(p.optionX, c.optionX);
        EXPECT_EQ(p.workPath, std::wstring(c.workPath));
        EXPECT_EQ(p.logPath, std::wstring(c.logPath));
    }
}

TEST_F(CommandLine, LongArgumentKeepsItsFirst259Characters) {
    std::wstring arg(300, L'a');
    for (size_t i = 0; i < arg.size(); ++i) arg[i] = L'a' + i % 26;
    std::wstring line = L"u /D\"" + arg + L"\" /S";
    ParsedLine p = Parse(line.c_str());
    EXPECT_EQ(p.workPath, arg.substr(0, 259));
    EXPECT_EQ(p.optionS, 1) << "the characters beyond the buffer are read and dropped, not left as options";
}

TEST(OptionArgument, FitsExactlyAndOneTooLong) {
    WCHAR buffer[6];
    bool cut = true;
    const WCHAR* rest = ParseOptionArgument(L"  abcde next", buffer, 6, &cut);
    EXPECT_STREQ(buffer, L"abcde");
    EXPECT_STREQ(rest, L" next");
    EXPECT_FALSE(cut);
    rest = ParseOptionArgument(L"abcdef next", buffer, 6, &cut);
    EXPECT_STREQ(buffer, L"abcde");
    EXPECT_STREQ(rest, L" next");
    EXPECT_TRUE(cut) << "what is dropped is reported, so a cut path is never used";
    rest = ParseOptionArgument(L"\"a b c d e f\"tail", buffer, 6, &cut);
    EXPECT_STREQ(buffer, L"a b c");
    EXPECT_STREQ(rest, L"tail");
    EXPECT_TRUE(cut);
}

}  // namespace
