/* Observes the program's RegSetValueExA calls: each call's value name, type and
 * the exact bytes passed (their count is what the registry was told), then
 * forwards to the real function so the registry changes as it would. */
#ifndef KX_REGWRITE_SUPPORT_H
#define KX_REGWRITE_SUPPORT_H

#include "tests/unit/harness.h"
#include <memory>

struct RecordedRegWrite {
    std::string name;
    DWORD type;
    std::string bytes;
};

struct RegWriteRecorder {
    std::vector<RecordedRegWrite> writes;
    RegWriteRecorder();
    ~RegWriteRecorder();
    RegWriteRecorder(const RegWriteRecorder &) = delete;
    RegWriteRecorder &operator=(const RegWriteRecorder &) = delete;
    const RecordedRegWrite *Find(const char *name) const;

private:
    std::unique_ptr<ScopedImport> patch;
};

#endif
