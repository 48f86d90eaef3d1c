// Pause, continue, interrogate and stop through servicectl, and the pipe server's behaviour around them:
// a client that comes while paused waits and is served after continue; one instance means busy.
#include "service_harness.h"

#include <atomic>
#include <thread>

namespace vessamir_test {
namespace {

class Control : public ServiceTest {
protected:
    DWORD control(const std::string &command) {
        auto result = servicectl(command + " Varnholtguard");
        EXPECT_EQ(result.exit_status, 0) << result.output;
        return printed_state(result);
    }
};

TEST_F(Control, PauseInterrogateContinueAndAClientDuringPauseWaits) {
    start_running();
    EXPECT_EQ(control("pause"), (DWORD)SERVICE_PAUSED);
    EXPECT_EQ(control("interrogate"), (DWORD)SERVICE_PAUSED);
    auto query = servicectl("query Varnholtguard");
    EXPECT_NE(query.output.find("accepted controls: 0x3 STOP PAUSE_CONTINUE"), std::string::npos) << query.output;

    std::atomic<bool> served{false};
    std::string reply;
    std::thread client([&] {
        reply = exchange("Q");
        served = true;
    });
    // The client is connected and waiting; a round trip to the service later, it still has no answer.
    EXPECT_EQ(control("interrogate"), (DWORD)SERVICE_PAUSED);
    EXPECT_FALSE(served.load());
    EXPECT_EQ(control("continue"), (DWORD)SERVICE_RUNNING);
    client.join();
    EXPECT_EQ(text_of(reply), "Floppy status is: Locked");
    EXPECT_EQ(text_of(exchange("U")), "Floppies were unlocked");
}

TEST_F(Control, PauseTwiceContinueOnceRuns) {
    start_running();
    EXPECT_EQ(control("pause"), (DWORD)SERVICE_PAUSED);
    EXPECT_EQ(control("pause"), (DWORD)SERVICE_PAUSED);
    EXPECT_EQ(control("continue"), (DWORD)SERVICE_RUNNING);
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
}

TEST_F(Control, ContinueWhileRunningChangesNothing) {
    start_running();
    EXPECT_EQ(control("continue"), (DWORD)SERVICE_RUNNING);
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
}

TEST_F(Control, StopWhilePausedUnlocksBothDrivesAndEnds) {
    start_running();
    EXPECT_EQ(control("pause"), (DWORD)SERVICE_PAUSED);
    auto stopped = servicectl("stop Varnholtguard");
    EXPECT_EQ(stopped.exit_status, 0) << stopped.output;
    EXPECT_EQ(printed_state(stopped), (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(printed_exit_code(stopped), 0u);
    for (auto drive : {"a:", "b:"})
        EXPECT_NE(acl_of(drive_file(drive)).find("other::rw"), std::string::npos) << drive;
    EXPECT_TRUE(events().empty());
    auto again = servicectl("pause Varnholtguard");
    EXPECT_EQ(again.exit_status, 1);
    EXPECT_NE(again.output.find("error 1062"), std::string::npos) << again.output;
}

TEST_F(Control, SecondClientWhileOneIsServedIsBusy) {
    start_running();
    HANDLE first = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    HANDLE second = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);

    DWORD mode = PIPE_READMODE_MESSAGE;
    EXPECT_TRUE(SetNamedPipeHandleState(first, &mode, NULL, NULL));
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(first, "Q", 1, &done, NULL));
    char reply[180];
    EXPECT_TRUE(ReadFile(first, reply, sizeof reply, &done, NULL));
    EXPECT_EQ(done, 180u);
    EXPECT_STREQ(reply, "Floppy status is: Locked");
    CloseHandle(first);
}

}  // namespace
}  // namespace vessamir_test
