// A simulated MQTT broker for tests in virtual time: it takes the station's connection or
// refuses it, or never answers, or is not there at all; it keeps every message that reached
// it, the retained ones by topic, and publishes a client's will when the connection ends
// without a clean disconnect. Acknowledgements can be held back to stand for a broker that
// took the message but whose answer was lost with the connection.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/mqtt.h"

namespace platform {

class SimMqttBroker : public MqttBackEnd {
  public:
    enum class Answer {
        Accept,
        RefuseAuth,   // "not authorised"
        Unreachable,  // the connect fails after connectDelay
        Silent,       // takes the connection and never answers it
    };
    struct Message {
        std::string topic;
        std::string payload;
        int qos = 0;
        bool retain = false;
        double at = 0.0;  // Timer() when it reached the broker
    };

    SimMqttBroker();
    ~SimMqttBroker() override;

    std::unique_ptr<MqttClient> create(const MqttOptions& options, MqttEvents events) override;

    Answer answer = Answer::Accept;
    double connectDelay = 0.02;
    double ackDelay = 0.005;
    // While set, acknowledgements wait; releaseAcks() sends them.
    bool holdAcks = false;
    // A message this says yes to is taken but its acknowledgement is lost (never sent).
    std::function<bool(const Message&)> loseAck;
    // The MQTT 5 reason code the broker answers a QoS 1 message with (0x80 or more: refused,
    // and the message is dropped); unset or 0: taken.
    std::function<int(const Message&)> refuse;
    // A broker that speaks only MQTT 3.1.1: refusals are not reported (the message is still
    // dropped and "acknowledged").
    bool mqtt311 = false;
    // The Receive Maximum the broker names at connect.
    int receiveMaximum = 65535;

    // Every message that reached the broker, in order, and the retained one of each topic.
    std::vector<Message> published;
    std::map<std::string, std::string> retained;
    int attempts = 0;                      // connect() calls
    int cleanDisconnects = 0;              // connections ended by disconnect()
    std::vector<MqttOptions> optionsSeen;  // of each client created

    bool connected() const;
    // The broker goes away: a live connection ends ("connection lost"), the will is
    // published, acknowledgements held back are lost.
    void drop();
    void releaseAcks();
    // The messages on one topic, in order.
    std::vector<Message> on(const std::string& topic) const;

    struct Session;

  private:
    std::vector<Session*> sessions_;
    friend struct Session;
};

}  // namespace platform
