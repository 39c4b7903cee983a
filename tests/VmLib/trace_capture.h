// Test helpers: collect what the trace channel writes, and point "trace.ini"
// at a private file.
#ifndef TESTS_VMLIB_TRACE_CAPTURE_H
#define TESTS_VMLIB_TRACE_CAPTURE_H

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "sndkit/trace.h"

// Installs hooks that pass levels 1..nLevel into a string; restores the
// defaults when it goes.
class TraceCapture {
  public:
    explicit TraceCapture(int32_t nLevel) : level_(nLevel) {
        TraceSetHooks(nullptr, this, &TraceCapture::Filter, &TraceCapture::Output);
    }
    ~TraceCapture() { TraceSetHooks(nullptr, nullptr, nullptr, nullptr); }
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    const std::wstring &Text() const { return text_; }
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        size_t pos = 0;
        while (pos < text_.size()) {
            size_t nl = text_.find(L'\n', pos);
            size_t end = nl == std::wstring::npos ? text_.size() : nl + 1;
            lines.push_back(text_.substr(pos, end - pos));
            pos = end;
        }
        return lines;
    }
    void Clear() { text_.clear(); }
    // How many lines "unit(n) : *** TracePosition\n" of this unit were written.
    size_t Positions(const std::wstring &unit) const {
        size_t n = 0;
        for (const auto &l : Lines())
            if (l.rfind(unit + L"(", 0) == 0 &&
                l.find(L") : *** TracePosition\n") != std::wstring::npos)
                ++n;
        return n;
    }

  private:
    static int32_t Filter(void *hook, int32_t nLevel, uintptr_t, uintptr_t) {
        return nLevel >= 1 && nLevel <= static_cast<TraceCapture *>(hook)->level_;
    }
    static int32_t Output(void *hook, uint32_t, const wchar_t *text, uintptr_t, uintptr_t) {
        static_cast<TraceCapture *>(hook)->text_ += text;
        return 0;
    }
    int32_t level_;
    std::wstring text_;
};

// A private folder for one test, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vmlibtest.XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }
    const std::filesystem::path &Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

#endif
