#include "platform/sim/sim_mqtt.h"

#include <algorithm>

#include "platform/event_loop.h"

namespace platform {

struct SimMqttBroker::Session : MqttClient {
    SimMqttBroker* broker;
    MqttOptions options;
    MqttEvents events;
    // Posted callbacks of an attempt check that it is still the live one.
    std::shared_ptr<int> attempt = std::make_shared<int>(0);
    enum class State { Idle, Connecting, Connected } state = State::Idle;
    int nextId = 1;
    std::vector<int> heldAcks;

    Session(SimMqttBroker* b, MqttOptions o, MqttEvents e)
        : broker(b), options(std::move(o)), events(std::move(e)) {
        broker->sessions_.push_back(this);
    }
    ~Session() override {
        if (broker != nullptr) std::erase(broker->sessions_, this);
    }

    // Posts fn for this attempt: dropped when the attempt has ended meanwhile.
    void later(double delay, std::function<void()> fn) {
        std::weak_ptr<int> token = attempt;
        loop().post(delay, [token, fn = std::move(fn)] {
            if (!token.expired()) fn();
        });
    }
    void newAttempt() { attempt = std::make_shared<int>(0); }

    void connect() override {
        if (state != State::Idle || broker == nullptr) return;
        ++broker->attempts;
        state = State::Connecting;
        const Answer answer = broker->answer;
        if (answer == Answer::Silent) return;
        later(broker->connectDelay, [this, answer] {
            if (answer == Answer::Accept) {
                state = State::Connected;
                if (events.connected)
                    events.connected(MqttConnection{!broker->mqtt311, broker->receiveMaximum});
                return;
            }
            state = State::Idle;
            newAttempt();
            if (events.ended)
                events.ended(answer == Answer::RefuseAuth ? "connection refused: not authorised"
                                                          : "cannot connect: connection refused");
        });
    }

    void store(const std::string& topic, const std::string& payload, int qos, bool retain) {
        broker->published.push_back({topic, payload, qos, retain, loop().now()});
        if (retain) {
            if (payload.empty())
                broker->retained.erase(topic);
            else
                broker->retained[topic] = payload;
        }
    }

    int publish(const std::string& topic, const std::string& payload, int qos,
                bool retain) override {
        if (state != State::Connected || broker == nullptr) return -1;
        const int code =
            qos == 1 && broker->refuse ? broker->refuse({topic, payload, qos, retain}) : 0;
        if (code < 0x80) store(topic, payload, qos, retain);
        if (qos == 0) return 0;
        const int id = nextId++;
        if (code >= 0x80 && !broker->mqtt311) {
            later(broker->ackDelay, [this, id, code] {
                if (events.refused) events.refused(id, code, MqttReasonText(code));
            });
            return id;
        }
        if (broker->loseAck && broker->loseAck(broker->published.back())) return id;
        if (broker->holdAcks) {
            heldAcks.push_back(id);
        } else {
            later(broker->ackDelay, [this, id] {
                if (events.acknowledged) events.acknowledged(id);
            });
        }
        return id;
    }

    // The connection ends without a clean disconnect: the broker publishes the will.
    void lose() {
        if (state == State::Connected && broker != nullptr && !options.willTopic.empty())
            store(options.willTopic, options.willPayload, 1, options.willRetain);
        state = State::Idle;
        heldAcks.clear();
        newAttempt();
    }

    void abort() override { lose(); }

    void disconnect() override {
        if (state == State::Connected && broker != nullptr) ++broker->cleanDisconnects;
        state = State::Idle;
        heldAcks.clear();
        newAttempt();
    }

    bool close(const std::string& topic, const std::string& payload, double) override {
        const bool sent = state == State::Connected && broker != nullptr;
        if (sent) store(topic, payload, 1, true);
        state = State::Idle;
        heldAcks.clear();
        newAttempt();
        return sent;
    }
};

SimMqttBroker::SimMqttBroker() = default;

SimMqttBroker::~SimMqttBroker() {
    for (Session* s : sessions_) s->broker = nullptr;
}

std::unique_ptr<MqttClient> SimMqttBroker::create(const MqttOptions& options, MqttEvents events) {
    optionsSeen.push_back(options);
    return std::make_unique<Session>(this, options, std::move(events));
}

bool SimMqttBroker::connected() const {
    return std::any_of(sessions_.begin(), sessions_.end(),
                       [](const Session* s) { return s->state == Session::State::Connected; });
}

void SimMqttBroker::drop() {
    for (Session* s : std::vector<Session*>(sessions_)) {
        const bool wasLive = s->state != Session::State::Idle;
        s->lose();
        if (wasLive && s->events.ended) {
            MqttEvents& ev = s->events;
            loop().post(0.0, [&ev, token = std::weak_ptr<int>(s->attempt)] {
                if (!token.expired() && ev.ended) ev.ended("connection lost");
            });
        }
    }
}

void SimMqttBroker::releaseAcks() {
    for (Session* s : sessions_) {
        for (int id : s->heldAcks)
            s->later(ackDelay, [s, id] {
                if (s->events.acknowledged) s->events.acknowledged(id);
            });
        s->heldAcks.clear();
    }
}

std::vector<SimMqttBroker::Message> SimMqttBroker::on(const std::string& topic) const {
    std::vector<Message> out;
    for (const Message& m : published)
        if (m.topic == topic) out.push_back(m);
    return out;
}

}  // namespace platform
