#include "scripted_netbios.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace platform::testing {

using netbios::Deadline;
using netbios::Reply;

class ScriptedNetbios::State final : public netbios::Transport, public netbios::NcbObserver {
public:
    // Script.
    void set_lanas(std::vector<std::uint8_t> lanas) {
        std::lock_guard lock(mutex_);
        lanas_ = std::move(lanas);
    }
    void set_enumeration_retcode(UCHAR retcode) {
        std::lock_guard lock(mutex_);
        enumeration_retcode_ = retcode;
    }
    void set_command_timeout(std::chrono::milliseconds timeout) {
        std::lock_guard lock(mutex_);
        command_timeout_ = timeout;
    }
    void set_reset(std::uint8_t lana, ScriptedReply reply) {
        std::lock_guard lock(mutex_);
        lana_script(lana).reset = std::move(reply);
    }
    void set_adapter_status(std::uint8_t lana, ScriptedReply reply) {
        std::lock_guard lock(mutex_);
        lana_script(lana).adapter_status = std::move(reply);
    }
    void set_adapter_status_for(std::uint8_t lana, std::string_view callname, ScriptedReply reply) {
        std::lock_guard lock(mutex_);
        lana_script(lana).adapter_status_by_name[trimmed(callname)] = std::move(reply);
    }
    void set_session_status(std::uint8_t lana, ScriptedReply reply) {
        std::lock_guard lock(mutex_);
        lana_script(lana).session_status = std::move(reply);
    }

    void hold(std::uint8_t lana, bool ignore_deadline) {
        std::lock_guard lock(mutex_);
        held_lanas_[lana] = ignore_deadline;
    }
    void release(std::uint8_t lana) {
        std::lock_guard lock(mutex_);
        held_lanas_.erase(lana);
        changed_.notify_all();
    }
    void release_all() {
        std::lock_guard lock(mutex_);
        held_lanas_.clear();
        shutting_down_ = true;
        changed_.notify_all();
    }
    bool wait_until_held(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return held_calls_ >= count; });
    }

    // Record.
    void issued(const IssuedNcb &ncb) override {
        std::lock_guard lock(mutex_);
        issued_.push_back(ncb);
        changed_.notify_all();
    }
    std::vector<IssuedNcb> issued_list() {
        std::lock_guard lock(mutex_);
        return issued_;
    }
    bool wait_until_answered(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return answered_calls_ >= count; });
    }
    std::size_t transport_calls() {
        std::lock_guard lock(mutex_);
        return transport_calls_;
    }

    // Transport.
    std::vector<std::uint8_t> lanas() override {
        std::lock_guard lock(mutex_);
        return lanas_;
    }
    std::uint8_t enumeration_retcode() override {
        std::lock_guard lock(mutex_);
        return enumeration_retcode_;
    }
    std::chrono::milliseconds command_timeout() override {
        std::lock_guard lock(mutex_);
        return command_timeout_;
    }
    std::uint8_t reset(std::uint8_t lana, Deadline deadline) override {
        return answer(lana, deadline, [](LanaScript &script, std::uint8_t) { return script.reset; }).retcode;
    }
    Reply adapter_status(std::uint8_t lana, const Name &callname, Deadline deadline) override {
        return answer(lana, deadline, [&](LanaScript &script, std::uint8_t) {
            auto named = script.adapter_status_by_name.find(trimmed(callname));
            return named != script.adapter_status_by_name.end() ? named->second : script.adapter_status;
        });
    }
    Reply session_status(std::uint8_t lana, const Name &, Deadline deadline) override {
        return answer(lana, deadline, [](LanaScript &script, std::uint8_t) { return script.session_status; });
    }

private:
    struct LanaScript {
        ScriptedReply reset;
        ScriptedReply adapter_status{NRC_GOODRET, adapter_status_reply(ADAPTER_STATUS{}, {}), {}};
        ScriptedReply session_status{NRC_GOODRET, session_status_reply(SESSION_HEADER{}, {}), {}};
        std::map<std::string, ScriptedReply> adapter_status_by_name;
    };

    static std::string trimmed(std::string_view name) {
        auto end = name.find_last_not_of(std::string_view(" \0", 2));
        return std::string(name.substr(0, end == std::string_view::npos ? 0 : end + 1));
    }
    static std::string trimmed(const Name &name) {
        return trimmed(std::string_view(reinterpret_cast<const char *>(name.data()), name.size()));
    }

    LanaScript &lana_script(std::uint8_t lana) { return scripts_[lana]; }

    template <typename Choose>
    Reply answer(std::uint8_t lana, Deadline deadline, Choose choose) {
        std::unique_lock lock(mutex_);
        ++transport_calls_;
        Reply reply = wait_and_answer(lock, lana, deadline, choose(lana_script(lana), lana));
        ++answered_calls_;
        changed_.notify_all();
        return reply;
    }

    Reply wait_and_answer(std::unique_lock<std::mutex> &lock, std::uint8_t lana, Deadline deadline,
                          ScriptedReply scripted) {
        auto ready_at = netbios::Clock::now() + scripted.delay;
        if (ready_at > deadline) {
            changed_.wait_until(lock, deadline, [&] { return shutting_down_; });
            return Reply{NRC_CMDTMO, {}};
        }
        changed_.wait_until(lock, ready_at, [&] { return shutting_down_; });

        auto held = held_lanas_.find(lana);
        if (held != held_lanas_.end()) {
            bool ignore_deadline = held->second;
            ++held_calls_;
            changed_.notify_all();
            auto released = [&] { return !held_lanas_.contains(lana); };
            bool in_time = true;
            if (ignore_deadline)
                changed_.wait(lock, released);
            else
                in_time = changed_.wait_until(lock, deadline, released);
            --held_calls_;
            if (!in_time)
                return Reply{NRC_CMDTMO, {}};
        }
        return Reply{scripted.retcode, std::move(scripted.bytes)};
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> lanas_;
    UCHAR enumeration_retcode_ = NRC_GOODRET;
    std::chrono::milliseconds command_timeout_ = std::chrono::seconds(30);
    std::map<std::uint8_t, LanaScript> scripts_;
    std::map<std::uint8_t, bool> held_lanas_;  // LANA -> ignores the deadline
    bool shutting_down_ = false;
    std::size_t held_calls_ = 0;
    std::size_t transport_calls_ = 0;
    std::size_t answered_calls_ = 0;
    std::vector<IssuedNcb> issued_;
};

ScriptedNetbios::ScriptedNetbios() : state_(std::make_shared<State>()) {
    previous_transport_ = netbios::current_transport();
    netbios::install_transport(state_);
    previous_observer_ = netbios::install_ncb_observer(state_);
}

ScriptedNetbios::~ScriptedNetbios() {
    state_->release_all();
    netbios::install_ncb_observer(previous_observer_);
    netbios::install_transport(previous_transport_);
    // Every command completes by its deadline; a test's NCBs and buffers must outlive their commands.
    netbios::wait_until_idle(std::chrono::minutes(1));
}

void ScriptedNetbios::set_lanas(std::vector<std::uint8_t> lanas) {
    state_->set_lanas(std::move(lanas));
}
void ScriptedNetbios::set_enumeration_retcode(UCHAR retcode) {
    state_->set_enumeration_retcode(retcode);
}
void ScriptedNetbios::set_command_timeout(std::chrono::milliseconds timeout) {
    state_->set_command_timeout(timeout);
}
void ScriptedNetbios::set_reset(std::uint8_t lana, UCHAR retcode, std::chrono::milliseconds delay) {
    state_->set_reset(lana, ScriptedReply{retcode, {}, delay});
}
void ScriptedNetbios::set_adapter_status(std::uint8_t lana, ScriptedReply reply) {
    state_->set_adapter_status(lana, std::move(reply));
}
void ScriptedNetbios::set_adapter_status_for(std::uint8_t lana, std::string_view callname, ScriptedReply reply) {
    state_->set_adapter_status_for(lana, callname, std::move(reply));
}
void ScriptedNetbios::set_session_status(std::uint8_t lana, ScriptedReply reply) {
    state_->set_session_status(lana, std::move(reply));
}
void ScriptedNetbios::hold(std::uint8_t lana, bool ignore_deadline) {
    state_->hold(lana, ignore_deadline);
}
void ScriptedNetbios::release(std::uint8_t lana) {
    state_->release(lana);
}
bool ScriptedNetbios::wait_until_held(std::size_t count, std::chrono::milliseconds limit) const {
    return state_->wait_until_held(count, limit);
}
std::vector<IssuedNcb> ScriptedNetbios::issued() const {
    return state_->issued_list();
}
bool ScriptedNetbios::wait_until_answered(std::size_t count, std::chrono::milliseconds limit) const {
    return state_->wait_until_answered(count, limit);
}
bool ScriptedNetbios::wait_until_idle(std::chrono::milliseconds limit) const {
    return netbios::wait_until_idle(limit);
}
std::size_t ScriptedNetbios::transport_calls() const {
    return state_->transport_calls();
}

}  // namespace platform::testing
