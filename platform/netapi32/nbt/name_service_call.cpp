#include "name_service_call.h"

#include <algorithm>
#include <cerrno>

namespace platform::nbt {

NameServiceCall::NameServiceCall(SocketPool &pool, const Ipv4Address &local, const std::string &interface,
                                 Clock::time_point deadline)
    : pool_(pool), local_(local), interface_(interface), deadline_(deadline), socket_(pool.take(local, interface)) {}

NameServiceCall::~NameServiceCall() {
    if (socket_)
        pool_.give_back(local_, interface_, std::move(*socket_));
}

void NameServiceCall::ask(std::vector<std::uint8_t> request, const Ipv4Address &destination, RetryPolicy policy,
                          Accept accept, Then then) {
    request_ = std::move(request);
    destination_ = destination;
    policy_ = policy;
    accept_ = std::move(accept);
    then_ = std::move(then);
    tries_sent_ = 0;
    auto now = Clock::now();
    if (now < deadline_ && policy_.tries > 0)
        send_try(now);
    else
        next_try_ = now;  // nothing is sent: the next advance concludes the question unanswered
}

void NameServiceCall::send_try(Clock::time_point now) {
    socket_->send(request_, destination_, name_service_port);
    ++tries_sent_;
    next_try_ = now + policy_.interval;
}

netbios::Deadline NameServiceCall::next_wake() const {
    return std::min(next_try_, deadline_);
}

std::optional<netbios::Reply> NameServiceCall::conclude(const std::optional<Datagram> &answer) {
    // The continuation may ask the next question, which replaces then_ while it runs.
    Then then = std::move(then_);
    return then(answer);
}

std::optional<netbios::Reply> NameServiceCall::advance(Clock::time_point now) {
    bool drained = false;
    for (int read = 0; read < read_batch && !drained; ++read) {
        auto datagram = socket_->receive_ready(drained);
        if (datagram && accept_(*datagram))
            return conclude(datagram);
    }
    if (now >= deadline_)
        return conclude(std::nullopt);
    if (now >= next_try_) {
        if (tries_sent_ >= policy_.tries)
            return conclude(std::nullopt);
        send_try(now);
    }
    return std::nullopt;
}

}  // namespace platform::nbt
