#pragma once
// Every question the program puts to the user goes through this interface:
// message boxes, the open-file dialog and the folder picker. The windows
// install the real one; tests install RecordingPrompt and answer themselves.

#include <deque>
#include <string>
#include <vector>

namespace brevita {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

struct FileDialogRequest {
    std::string title;
    std::string pattern;     // e.g. "*.wav"
    std::string startFolder; // where the dialog opens
};

class UserPrompt {
  public:
    virtual ~UserPrompt() = default;
    // Modal, with the program's default title.
    virtual Answer ShowMessage(const std::string &text, Buttons buttons) = 0;
    // The chosen file's full path, or "" when the user cancels.
    virtual std::string ChooseFile(const FileDialogRequest &request) = 0;
    // The chosen folder's full path, or "" when the user cancels.
    virtual std::string ChooseFolder() = 0;
};

// Installs the prompt the program uses (not owned); null restores the
// fallback, which writes messages to standard error and answers No/cancel.
void SetUserPrompt(UserPrompt *prompt);
UserPrompt &Prompt();

// Prompt().ShowMessage of the text in the chosen language.
Answer MsgBox(const std::string &text, Buttons buttons = Buttons::Ok);

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

// Installs a prompt for the lifetime of a scope.
class ScopedUserPrompt {
  public:
    explicit ScopedUserPrompt(UserPrompt &prompt) { SetUserPrompt(&prompt); }
    ~ScopedUserPrompt() { SetUserPrompt(nullptr); }
    ScopedUserPrompt(const ScopedUserPrompt &) = delete;
    ScopedUserPrompt &operator=(const ScopedUserPrompt &) = delete;
};

} // namespace brevita
