#pragma once
// The prompt a person answers: Qt message boxes with the program's title,
// the open-file dialog and the folder picker, over the active window.

#include "UserPrompt.h"

namespace brevita {

class QtPrompt : public UserPrompt {
  public:
    Answer ShowMessage(const std::string &text, Buttons buttons) override;
    std::string ChooseFile(const FileDialogRequest &request) override;
    std::string ChooseFolder() override;
};

} // namespace brevita
