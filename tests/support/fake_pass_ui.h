// A scripted stand-in for the passes' screen table: while one lives, every entry of PassUi is
// its own, so a pass runs without a window. It notes each progress report, question, read-only
// prompt and log call in order, and answers from its script.
//   FakePassUi ui;
//   ui.questionAnswers = {IDYES};
//   RemoveInstalledFiles();
//   EXPECT_EQ((std::vector<Logged>{{kRecordFile, kRecordRemoval, 0, path}}), ui.log);
#pragma once
#include <windows.h>

#include <deque>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "removal/progress.h"

struct Question {
    std::wstring text;
    UINT type;
    bool operator==(const Question& o) const { return text == o.text && type == o.type; }
};
struct Logged {
    DWORD kind;
    RecordOutcome outcome;
    DWORD detail;
    std::wstring path;
    bool operator==(const Logged& o) const {
        return std::tie(kind, outcome, detail, path) == std::tie(o.kind, o.outcome, o.detail, o.path);
    }
};
std::ostream& operator<<(std::ostream& out, const Question& question);
std::ostream& operator<<(std::ostream& out, const Logged& logged);

class FakePassUi {
public:
    FakePassUi();   // takes every entry of Removal.PassUi
    ~FakePassUi();  // and empties the table again
    FakePassUi(const FakePassUi&) = delete;
    FakePassUi& operator=(const FakePassUi&) = delete;
    // Forgets what was noted; the script stays.
    void Forget();

    // The script, taken from the front: a prompt beyond it is answered No, a question IDNO.
    std::deque<ReadOnlyAnswer> promptAnswers;
    std::deque<int> questionAnswers;

    std::vector<DWORD> progress;        // the percentages shown
    std::vector<std::wstring> prompts;  // the path of each read-only prompt
    std::vector<Question> questions;
    std::vector<Logged> log;
};
