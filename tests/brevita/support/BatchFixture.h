#pragma once
// The runs on a database in memory: a view that records what the run shows,
// and the fixture that installs both. For tests that link the run layer.

#include "CurrentDatabase.h"
#include "MemoryDatabase.h"
#include "TrimFixture.h"
#include "TrimView.h"

#include <functional>
#include <string>
#include <vector>

namespace brevita_test {

struct FakeView : brevita::TrimView {
    brevita::BrevitaSettings settings;
    int32_t max = 100, value = 0;
    std::vector<std::string> captions;
    int busyChanges = 0;
    brevita::BrevitaSettings CurrentSettings() override { return settings; }
    void SetProgressCaption(const std::string &t) override { captions.push_back(t); }
    void SetProgressMax(int32_t m) override { max = m; }
    int32_t ProgressMax() override { return max; }
    void SetProgressValue(int32_t v) override { value = v; }
    int32_t ProgressValue() override { return value; }
    void SetBusy(bool) override { ++busyChanges; }
    void CopyWithNotice(const std::function<void()> &copy) override { copy(); }
    bool viewerStarts = true;
    std::vector<std::string> viewed;
    bool OpenLogViewer(const std::string &path) override {
        viewed.push_back(path);
        return viewerStarts;
    }
    // Called with the files done so far after each one.
    std::function<void(int32_t done)> checked;
    void FileChecked(int32_t done, int32_t, int32_t, int32_t) override {
        if (checked)
            checked(done);
    }
};

// The database in memory installed, and a view of the default settings
// with greetings trimmed too and no backup.
struct BatchFixture : TrimFixture {
    MemoryDatabase db;
    FakeView view;

    void SetUp() override {
        TrimFixture::SetUp();
        brevita::SetCurrentDatabase(&db);
        view.settings.backupFiles = false;
        view.settings.trimGreetings = true;
        view.settings.maxVoiceNames = "0";
    }
    void TearDown() override {
        brevita::SetCurrentDatabase(nullptr);
        TrimFixture::TearDown();
    }
    void AddName(const std::string &streamPath, const std::string &alias, const std::string &id) {
        db.AddVoiceName(streamPath, alias, id);
    }
    void AddGreeting(const std::string &streamPath, const std::string &parent) {
        db.AddGreeting(streamPath, "greeting", parent);
    }
    // The requests the server took, one "proc id" line each.
    std::string Requests() {
        std::string lines;
        for (const std::string &r : db.requests)
            lines += r + "\n";
        return lines;
    }
};

} // namespace brevita_test
