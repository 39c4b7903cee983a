#include "UserPrompt.h"

#include "DeferredOutput.h"
#include "Messages.h"

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

} // namespace

void SetUserPrompt(UserPrompt *prompt) {
    current = prompt;
}

UserPrompt &Prompt() {
    return current ? *current : fallback;
}

Answer MsgBox(const std::string &text, Buttons buttons) {
    if (DeferredOutput *out = DeferredOutputOfThisThread()) {
        out->push_back({true, text, false, buttons});
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    return Prompt().ShowMessage(TranslateMessage(text), buttons);
}

} // namespace brevita
