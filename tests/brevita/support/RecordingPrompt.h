#pragma once
// A prompt that answers for the user, so the tests see every question.

#include "UserPrompt.h"

#include <deque>
#include <string>
#include <vector>

namespace brevita {

// Records every question; answers from the queues, then with the defaults
// (Ok, No, and cancel for the dialogs).
class RecordingPrompt : public UserPrompt {
  public:
    enum class Kind { Message, File, Folder };
    struct Question {
        Kind kind;
        std::string text; // the message, or the dialog's title
        Buttons buttons;
        std::string answer; // "Ok", "Yes", "No" or the path handed back
    };

    Answer ShowMessage(const std::string &text, Buttons buttons) override;
    std::string ChooseFile(const FileDialogRequest &request) override;
    std::string ChooseFolder() override;

    // The texts of the message boxes shown, in order.
    std::vector<std::string> Messages() const;

    std::vector<Question> questions;
    std::deque<Answer> answers;
    std::deque<std::string> paths;
    std::vector<FileDialogRequest> fileRequests;
};

} // namespace brevita
