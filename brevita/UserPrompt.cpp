#include "brevita/UserPrompt.h"

#include "brevita/Messages.h"

#include <cstdio>

namespace brevita {

namespace {

// Used before the windows exist (or without them): nobody can answer, so
// nothing is confirmed.
class FallbackPrompt : public UserPrompt {
  public:
    Answer ShowMessage(const std::string &text, Buttons buttons) override {
        std::fprintf(stderr, "Brevita: %s\n", text.c_str());
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    std::string ChooseFile(const FileDialogRequest &) override { return {}; }
    std::string ChooseFolder() override { return {}; }
};

FallbackPrompt fallback;
UserPrompt *current = nullptr;

const char *AnswerName(Answer a) {
    switch (a) {
    case Answer::Ok:
        return "Ok";
    case Answer::Yes:
        return "Yes";
    case Answer::No:
        return "No";
    }
    return "";
}

} // namespace

void SetUserPrompt(UserPrompt *prompt) {
    current = prompt;
}

UserPrompt &Prompt() {
    return current ? *current : fallback;
}

Answer MsgBox(const std::string &text, Buttons buttons) {
    return Prompt().ShowMessage(TranslateMessage(text), buttons);
}

Answer RecordingPrompt::ShowMessage(const std::string &text, Buttons buttons) {
    Answer a = buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    if (!answers.empty()) {
        a = answers.front();
        answers.pop_front();
    }
    questions.push_back({Kind::Message, text, buttons, AnswerName(a)});
    return a;
}

std::string RecordingPrompt::ChooseFile(const FileDialogRequest &request) {
    std::string path;
    if (!paths.empty()) {
        path = paths.front();
        paths.pop_front();
    }
    fileRequests.push_back(request);
    questions.push_back({Kind::File, request.title, Buttons::Ok, path});
    return path;
}

std::string RecordingPrompt::ChooseFolder() {
    std::string path;
    if (!paths.empty()) {
        path = paths.front();
        paths.pop_front();
    }
    questions.push_back({Kind::Folder, "", Buttons::Ok, path});
    return path;
}

std::vector<std::string> RecordingPrompt::Messages() const {
    std::vector<std::string> out;
    for (const auto &q : questions) {
        if (q.kind == Kind::Message) {
            out.push_back(q.text);
        }
    }
    return out;
}

} // namespace brevita
