#include "RecordingPrompt.h"

namespace brevita {

namespace {

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
