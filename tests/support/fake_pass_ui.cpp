// FakePassUi: the table's entries note their calls in the one fake in place and answer from
// its script.
#include "support/fake_pass_ui.h"

#include "support/files_registry.h"

namespace {

FakePassUi* Current = nullptr;

template <typename T>
T Next(std::deque<T>& script, T otherwise) {
    if (script.empty()) return otherwise;
    T answer = script.front();
    script.pop_front();
    return answer;
}

void ShowProgress(DWORD percent) { Current->progress.push_back(percent); }

ReadOnlyAnswer AskReadOnlyFile(const WCHAR* path) {
    Current->prompts.push_back(path);
    return Next(Current->promptAnswers, kAnswerNo);
}

int AskQuestion(const WCHAR* text, UINT type) {
    Current->questions.push_back({text, type});
    return Next(Current->questionAnswers, IDNO);
}

void LogRecord(DWORD kind, RecordOutcome outcome, DWORD detail, const WCHAR* path) {
    Current->log.push_back({kind, outcome, detail, path});
}

}  // namespace

FakePassUi::FakePassUi() {
    Current = this;
    Removal.PassUi = {ShowProgress, AskReadOnlyFile, AskQuestion, LogRecord};
}

FakePassUi::~FakePassUi() {
    Removal.PassUi = {};
    Current = nullptr;
}

void FakePassUi::Forget() {
    progress.clear();
    prompts.clear();
    questions.clear();
    log.clear();
}

std::ostream& operator<<(std::ostream& out, const Question& question) {
    return out << "question '" << Utf8(question.text) << "' type 0x" << std::hex << question.type << std::dec;
}

std::ostream& operator<<(std::ostream& out, const Logged& logged) {
    return out << "kind 0x" << std::hex << logged.kind << std::dec << ", outcome " << int(logged.outcome)
               << ", detail " << logged.detail << ": '" << Utf8(logged.path) << "'";
}
