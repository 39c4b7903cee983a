#pragma once
// What a run needs of the window it runs in. The window and the runs
// without one each give their own.

#include "Settings.h"

#include <cstdint>
#include <functional>
#include <string>

namespace brevita {

class TrimView {
  public:
    virtual ~TrimView() = default;
    // The control values at this moment; read again at each use.
    virtual BrevitaSettings CurrentSettings() = 0;
    virtual void SetProgressCaption(const std::string &text) = 0;
    virtual void SetProgressMax(int32_t max) = 0;
    virtual int32_t ProgressMax() = 0;
    virtual void SetProgressValue(int32_t value) = 0;
    virtual int32_t ProgressValue() = 0;
    // On: the hourglass, and every control that would start another run
    // disabled. Off: both undone.
    virtual void SetBusy(bool busy) = 0;
    // Runs copy, a folder copy, with the notice shown while it runs; what
    // copy throws reaches the caller.
    virtual void CopyWithNotice(const std::function<void()> &copy) = 0;
    // False when no viewer could be started.
    virtual bool OpenLogViewer(const std::string &path) = 0;
    // After each listed file of a stage: done of total examined, changed
    // of them, errors so far in the log. The window shows its progress bar
    // instead.
    virtual void FileChecked(int32_t /*done*/, int32_t /*total*/, int32_t /*changed*/,
                             int32_t /*errors*/) {}
};

// The view of a run without a window: the settings it was given, the
// progress kept but not shown, nothing to make busy, no log viewer, and the
// copy notice as a line on standard output, at once.
class WindowlessView : public TrimView {
  public:
    explicit WindowlessView(BrevitaSettings initial = {}) : settings(std::move(initial)) {}
    BrevitaSettings CurrentSettings() override { return settings; }
    void SetProgressCaption(const std::string &) override {}
    void SetProgressMax(int32_t max) override { max_ = max; }
    int32_t ProgressMax() override { return max_; }
    void SetProgressValue(int32_t value) override { value_ = value; }
    int32_t ProgressValue() override { return value_; }
    void SetBusy(bool) override {}
    void CopyWithNotice(const std::function<void()> &copy) override;
    bool OpenLogViewer(const std::string &) override { return false; }

    // What CurrentSettings gives; start-up may fill it in place.
    BrevitaSettings settings;

  private:
    int32_t max_ = 100;
    int32_t value_ = 0;
};

} // namespace brevita
