// Test helper: collects what the trace channel writes.
#ifndef TESTS_VMLIB_TRACE_CAPTURE_H
#define TESTS_VMLIB_TRACE_CAPTURE_H

#include <algorithm>
#include <string>
#include <vector>

#include "VmLib/trace.h"
#include "common/files.h"

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
    // Each line with its newline; a last line without one as it stands.
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        for (size_t pos = 0, end; pos < text_.size(); pos = end) {
            end = std::min(text_.find(L'\n', pos), text_.size() - 1) + 1;
            lines.push_back(text_.substr(pos, end - pos));
        }
        return lines;
    }
    void Clear() { text_.clear(); }
    bool Has(const std::wstring &s) const { return text_.find(s) != std::wstring::npos; }
    size_t Count(const std::wstring &s) const {
        size_t n = 0;
        for (size_t p = text_.find(s); p != std::wstring::npos; p = text_.find(s, p + 1))
            ++n;
        return n;
    }
    // How many lines "unit(n) : *** TracePosition\n" of this unit were written.
    size_t Positions(const std::wstring &unit) const {
        const auto lines = Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::wstring &l) {
            return l.rfind(unit + L"(", 0) == 0 && l.ends_with(L") : *** TracePosition\n");
        });
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

#endif
