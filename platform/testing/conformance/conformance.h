// Helpers of the conformance tests: only Win32, the standard library and GoogleTest, so they build for Windows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include "testing/temporary_prefix.h"
#include "testing/thread_waits.h"

#include <optional>
#endif

namespace conformance {

constexpr DWORD kSentinel = 0xdeadbeef;  // put into the last error before a call, to see whether it changed
constexpr DWORD kLongWait = 30000;       // long enough for anything that should happen on a loaded machine

#ifdef _WIN32
// The Windows build also runs on other implementations of the API (Wine). Where one is known to differ from
// what Windows documents, a test accepts the difference there, seen by its behaviour, as a skip that names it;
// the platform itself must always behave as Windows does.
constexpr bool kAcceptsKnownDifferences = true;
// Windows reports neither when a thread has blocked in a wait nor when a suspension has taken effect.
constexpr bool kSeesThreadStates = false;
inline bool WaitUntilParked(DWORD) {
    return true;
}
#else
constexpr bool kAcceptsKnownDifferences = false;
constexpr bool kSeesThreadStates = true;
// True once the thread is blocked in a wait, so that a signal given now completes that wait.
inline bool WaitUntilParked(DWORD thread_id) {
    return platform::testing::wait_until_parked(thread_id, kLongWait);
}
// Every conformance executable runs in a platform prefix of its own (pipes, devices, the event log's
// target), as a test on Windows runs on a machine of its own.
class PrivatePrefix : public ::testing::Environment {
    void SetUp() override {
        prefix_.emplace("conformance");
        prefix_->write_config("[eventlog]\ntarget = file:events.log\n");  // not the machine's journal
    }
    void TearDown() override { prefix_.reset(); }
    std::optional<platform::testing::TemporaryPrefix> prefix_;
};
inline ::testing::Environment *const kPrivatePrefix = ::testing::AddGlobalTestEnvironment(new PrivatePrefix);
#endif

// One row of a message sequence table: a message, and whether an implementation may leave it out.
struct Step {
    UINT message;
    bool optional = false;
};

// Compares the messages logged with the table, looking only at the messages the table names (the rest come
// and go with each implementation's details); an optional step may be missing.
inline ::testing::AssertionResult MatchesSequence(const std::vector<UINT> &log, const std::vector<Step> &table) {
    std::vector<UINT> seen;
    for (UINT message : log)
        for (const Step &step : table)
            if (step.message == message) {
                seen.push_back(message);
                break;
            }
    std::size_t at = 0;
    bool complete = true;
    for (const Step &step : table)
        if (at < seen.size() && seen[at] == step.message)
            ++at;
        else if (!step.optional)
            complete = false;
    if (complete && at == seen.size())
        return ::testing::AssertionSuccess();
    std::string got;
    for (UINT message : seen)
        got += std::to_string(message) + " ";
    return ::testing::AssertionFailure() << "messages in table order: " << got;
}

// For a table whose rows another implementation answers differently in known ways: true when `seen` shows
// such a difference where those are accepted, with `what` added to `differences`, which the test reports at
// its end with SKIP_KNOWN_DIFFERENCE(!differences.empty(), differences).
inline bool KnownDifference(bool seen, const std::string &what, std::string &differences) {
    if (!kAcceptsKnownDifferences || !seen)
        return false;
    differences += " " + what + ";";
    return true;
}

inline DWORD WINAPI RunBody(LPVOID body) {
    return (*std::unique_ptr<std::function<DWORD()>>(static_cast<std::function<DWORD()> *>(body)))();
}

inline HANDLE StartThread(std::function<DWORD()> body, DWORD flags = 0, DWORD *id = nullptr, SIZE_T stack = 0) {
    return CreateThread(NULL, stack, RunBody, new std::function<DWORD()>(std::move(body)), flags, id);
}

// Waits for the thread to end, closes its handle and returns its exit code.
inline DWORD JoinThread(HANDLE thread) {
    DWORD code = kSentinel;
    EXPECT_EQ(WaitForSingleObject(thread, kLongWait), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

inline DWORD RunOnOtherThread(std::function<DWORD()> body) {
    return JoinThread(StartThread(std::move(body)));
}

}  // namespace conformance

// Skips the rest of a test where this implementation shows a difference from Windows that is known and
// named; `what` says which, and the skip shows what the call reported.
#define SKIP_KNOWN_DIFFERENCE(seen, what)                \
    if (conformance::kAcceptsKnownDifferences && (seen)) \
    GTEST_SKIP() << what << " (last error " << GetLastError() << ")"
// Skips the rest of a test when the call reports that this implementation lacks it.
#define SKIP_IF_NOT_IMPLEMENTED(failed, call) \
    SKIP_KNOWN_DIFFERENCE((failed) && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED, call " is not implemented here")
#define EXPECT_RESULT(call, expected) EXPECT_EQ((DWORD)(call), (DWORD)(expected))
#define EXPECT_LAST_ERROR(expected) EXPECT_EQ(GetLastError(), (DWORD)(expected))
// Puts kSentinel into the last error, then expects `failed` (a call's failure, as a condition) to hold and the
// call to have set `error`.
#define EXPECT_FAILS(failed, error)           \
    do {                                      \
        SetLastError(conformance::kSentinel); \
        EXPECT_TRUE(failed) << #failed;       \
        EXPECT_LAST_ERROR(error) << #failed;  \
    } while (0)
