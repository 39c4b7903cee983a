#pragma once
// Every question the program puts to the user goes through this interface:
// message boxes, the open-file dialog and the folder picker. The windows
// install the real one; tests install one that answers for the user.

#include <string>

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

// Installs a prompt for the lifetime of a scope.
class ScopedUserPrompt {
  public:
    explicit ScopedUserPrompt(UserPrompt &prompt) { SetUserPrompt(&prompt); }
    ~ScopedUserPrompt() { SetUserPrompt(nullptr); }
    ScopedUserPrompt(const ScopedUserPrompt &) = delete;
    ScopedUserPrompt &operator=(const ScopedUserPrompt &) = delete;
};

} // namespace brevita
