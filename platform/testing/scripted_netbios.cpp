#include "scripted_netbios.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>

namespace platform::testing {

using netbios::Deadline;
using netbios::Reply;

// The transport and NCB observer that a ScriptedNetbios installs, with its script behind one lock.
class ScriptedNetbios::State final : public netbios::Transport, public netbios::NcbObserver {
public:
    struct LanaScript {
        ScriptedReply reset;
        ScriptedReply adapter_status{NRC_GOODRET, adapter_status_reply(ADAPTER_STATUS{}, {}), {}};
        ScriptedReply session_status{NRC_GOODRET, session_status_reply(SESSION_HEADER{}, {}), {}};
        std::map<std::string, ScriptedReply> adapter_status_by_name;
    };
    // What the test scripted and what the transport saw; reached only under the lock.
    struct Script {
        std::vector<std::uint8_t> lanas;
        UCHAR enumeration_retcode = NRC_GOODRET;
        std::chrono::milliseconds command_timeout = std::chrono::seconds(30);
        std::map<std::uint8_t, LanaScript> lana;
        std::map<std::uint8_t, bool> held_lanas;  // LANA -> ignores the deadline
        bool shutting_down = false;
        std::size_t held_calls = 0, transport_calls = 0, answered_calls = 0;
        std::vector<IssuedNcb> issued;
    };

    // Changes the script under the lock and wakes every waiter to look again.
    template <typename Change>
    void update(Change change) {
        std::lock_guard lock(mutex_);
        change(script_);
        changed_.notify_all();
    }
    template <typename Read>
    auto read(Read read) {
        std::lock_guard lock(mutex_);
        return read(script_);
    }
    template <typename Done>
    bool wait_for(std::chrono::milliseconds limit, Done done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return done(script_); });
    }

    // Record.
    void issued(const IssuedNcb &ncb) override {
        update([&](Script &script) { script.issued.push_back(ncb); });
    }

    // Transport.
    std::vector<std::uint8_t> lanas() override {
        return read([](Script &script) { return script.lanas; });
    }
    std::uint8_t enumeration_retcode() override {
        return read([](Script &script) { return script.enumeration_retcode; });
    }
    std::chrono::milliseconds command_timeout() override {
        return read([](Script &script) { return script.command_timeout; });
    }
    std::uint8_t reset(std::uint8_t lana, Deadline deadline) override {
        return answer(lana, deadline, [](LanaScript &script) { return script.reset; }).retcode;
    }
    Reply adapter_status(std::uint8_t lana, const Name &callname, Deadline deadline) override {
        return answer(lana, deadline, [&](LanaScript &script) {
            auto named = script.adapter_status_by_name.find(
                trimmed(std::string_view(reinterpret_cast<const char *>(callname.data()), callname.size())));
            return named != script.adapter_status_by_name.end() ? named->second : script.adapter_status;
        });
    }
    Reply session_status(std::uint8_t lana, const Name &, Deadline deadline) override {
        return answer(lana, deadline, [](LanaScript &script) { return script.session_status; });
    }

    static std::string trimmed(std::string_view name) {
        auto end = name.find_last_not_of(std::string_view(" \0", 2));
        return std::string(name.substr(0, end == std::string_view::npos ? 0 : end + 1));
    }

private:
    template <typename Choose>
    Reply answer(std::uint8_t lana, Deadline deadline, Choose choose) {
        std::unique_lock lock(mutex_);
        ++script_.transport_calls;
        ScriptedReply scripted = choose(script_.lana[lana]);
        // A reply not ready by the deadline times the command out, at its deadline (or at once when shutting down).
        auto ready_at = std::min(netbios::Clock::now() + scripted.delay, deadline);
        changed_.wait_until(lock, ready_at, [&] { return script_.shutting_down; });
        bool in_time = ready_at < deadline;
        auto held = script_.held_lanas.find(lana);
        if (in_time && held != script_.held_lanas.end()) {
            auto until = held->second ? Deadline::max() : deadline;  // a transport that ignores deadlines
            ++script_.held_calls;
            changed_.notify_all();
            in_time = changed_.wait_until(lock, until, [&] { return !script_.held_lanas.contains(lana); });
            --script_.held_calls;
        }
        ++script_.answered_calls;
        changed_.notify_all();
        return in_time ? Reply{scripted.retcode, std::move(scripted.bytes)} : Reply{NRC_CMDTMO, {}};
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    Script script_;
};

using Script = ScriptedNetbios::State::Script;

ScriptedNetbios::ScriptedNetbios() : state_(std::make_shared<State>()) {
    previous_transport_ = netbios::current_transport();
    netbios::install_transport(state_);
    previous_observer_ = netbios::install_ncb_observer(state_);
}

ScriptedNetbios::~ScriptedNetbios() {
    state_->update([](Script &script) {
        script.held_lanas.clear();
        script.shutting_down = true;
    });
    netbios::install_ncb_observer(previous_observer_);
    netbios::install_transport(previous_transport_);
    // Every command completes by its deadline; a test's NCBs and buffers must outlive their commands.
    netbios::wait_until_idle(std::chrono::minutes(1));
}

void ScriptedNetbios::set_lanas(std::vector<std::uint8_t> lanas) {
    state_->update([&](Script &script) { script.lanas = std::move(lanas); });
}
void ScriptedNetbios::set_enumeration_retcode(UCHAR retcode) {
    state_->update([&](Script &script) { script.enumeration_retcode = retcode; });
}
void ScriptedNetbios::set_command_timeout(std::chrono::milliseconds timeout) {
    state_->update([&](Script &script) { script.command_timeout = timeout; });
}
void ScriptedNetbios::set_reset(std::uint8_t lana, UCHAR retcode, std::chrono::milliseconds delay) {
    state_->update([&](Script &script) { script.lana[lana].reset = ScriptedReply{retcode, {}, delay}; });
}
void ScriptedNetbios::set_adapter_status(std::uint8_t lana, ScriptedReply reply) {
    state_->update([&](Script &script) { script.lana[lana].adapter_status = std::move(reply); });
}
void ScriptedNetbios::set_adapter_status_for(std::uint8_t lana, std::string_view callname, ScriptedReply reply) {
    state_->update(
        [&](Script &script) { script.lana[lana].adapter_status_by_name[State::trimmed(callname)] = std::move(reply); });
}
void ScriptedNetbios::set_session_status(std::uint8_t lana, ScriptedReply reply) {
    state_->update([&](Script &script) { script.lana[lana].session_status = std::move(reply); });
}
void ScriptedNetbios::hold(std::uint8_t lana, bool ignore_deadline) {
    state_->update([&](Script &script) { script.held_lanas[lana] = ignore_deadline; });
}
void ScriptedNetbios::release(std::uint8_t lana) {
    state_->update([&](Script &script) { script.held_lanas.erase(lana); });
}
bool ScriptedNetbios::wait_until_held(std::size_t count, std::chrono::milliseconds limit) const {
    return state_->wait_for(limit, [&](Script &script) { return script.held_calls >= count; });
}
std::vector<IssuedNcb> ScriptedNetbios::issued() const {
    return state_->read([](Script &script) { return script.issued; });
}
bool ScriptedNetbios::wait_until_answered(std::size_t count, std::chrono::milliseconds limit) const {
    return state_->wait_for(limit, [&](Script &script) { return script.answered_calls >= count; });
}
bool ScriptedNetbios::wait_until_idle(std::chrono::milliseconds limit) const {
    return netbios::wait_until_idle(limit);
}
std::size_t ScriptedNetbios::transport_calls() const {
    return state_->read([](Script &script) { return script.transport_calls; });
}

}  // namespace platform::testing
