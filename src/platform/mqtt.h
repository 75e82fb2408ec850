// A client connection to an MQTT broker, publish only: the station never subscribes and
// acts on no message. One connect() is one attempt; its outcome (connected, or ended with a
// reason) and every acknowledgement arrive as events dispatched on the event loop, never
// inside the call that caused them and never on another thread. Name resolution, the TCP
// and TLS handshakes and the broker's answers are waited for off the loop. What to do after
// an attempt ends (when to try again) is the caller's decision. A real back end
// (libmosquitto) and a simulated broker (in memory, virtual time) implement MqttBackEnd.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

struct MqttOptions {
    std::string host;
    int port = 1883;
    std::string clientId;
    std::string user;  // "" : no user name and no password are sent
    std::string password;
    bool tls = false;
    std::string caFile;    // "" : the system's certificate authorities
    std::string certFile;  // client certificate and key, both or neither
    std::string keyFile;
    // The will: what the broker publishes (QoS 1) for the station when its connection ends
    // without a clean disconnect.
    std::string willTopic;
    std::string willPayload;
    bool willRetain = true;
    int keepAliveSeconds = 10;
    // QoS 1 messages sent and not yet acknowledged, at most (fewer when the broker's Receive
    // Maximum says so); later ones wait in the client.
    int sendMaximum = 256;
};

// What the broker said when it took the connection.
struct MqttConnection {
    // MQTT 5: a publish the broker refuses comes back as refused(). False for a broker that
    // speaks only MQTT 3.1.1, which answers a refused publish like a delivered one.
    bool refusalsReported = true;
    // How many QoS 1 messages the broker takes unacknowledged at once (MQTT 5's Receive
    // Maximum; 65535 when it names none).
    int receiveMaximum = 65535;
};

struct MqttEvents {
    // The broker accepted the connection (CONNACK with success).
    std::function<void(const MqttConnection&)> connected;
    // The attempt failed or the connection ended, with a reason for the operator ("connection
    // refused: not authorised", "cannot resolve host ..."). Once per connect(); not after
    // close() or abort() of the caller's own.
    std::function<void(const std::string& reason)> ended;
    // The broker acknowledged the QoS 1 message publish() numbered so.
    std::function<void(int messageId)> acknowledged;
    // The broker refused the QoS 1 message publish() numbered so: an MQTT 5 reason code of
    // 0x80 or more, and its text for the operator (MqttReasonText).
    std::function<void(int messageId, int reasonCode, const std::string& reason)> refused;
};

// A PUBACK's reason code for the operator: "not authorised", "packet too large", ...
std::string MqttReasonText(int reasonCode);
// A refusal of the one message for its own sake (too large, malformed payload): another
// message may well be taken. Any other refusal (not authorised, quota exceeded, ...) holds
// for what follows too.
bool MqttRefusesOnlyThisMessage(int reasonCode);

class MqttClient {
  public:
    // Ends the attempt or the connection as abort() does, and never waits (not even for a
    // name lookup under way).
    virtual ~MqttClient() = default;
    // Starts one attempt with the options given at creation; ignored while one is under way
    // or connected.
    virtual void connect() = 0;
    // Queues a message; its number (> 0) for a QoS 1 message's acknowledgement, 0 for
    // QoS 0, -1 when it could not be queued (not connected). Never waits.
    virtual int publish(const std::string& topic, const std::string& payload, int qos,
                        bool retain) = 0;
    // Ends the attempt or the connection at once, without a clean disconnect (the broker
    // publishes the will). No event of the attempt is delivered afterwards.
    virtual void abort() = 0;
    // Ends the connection cleanly without waiting: a DISCONNECT, so the broker drops the
    // will. No event of the attempt is delivered afterwards. Not connected: as abort().
    virtual void disconnect() = 0;
    // The clean end: publishes the last message (QoS 1, retained), waits at most
    // timeoutSeconds for its acknowledgement, disconnects. When it is not acknowledged in
    // time (it waits behind others on a slow link, or the broker refused it), the connection
    // ends without a DISCONNECT instead, so that the broker publishes the will. Waits on the
    // calling thread, so it is for the station's exit only. True when the last message was
    // acknowledged.
    virtual bool close(const std::string& topic, const std::string& payload,
                       double timeoutSeconds) = 0;
};

class MqttBackEnd {
  public:
    virtual ~MqttBackEnd() = default;
    virtual std::unique_ptr<MqttClient> create(const MqttOptions& options, MqttEvents events) = 0;
};

void setMqttBackEnd(MqttBackEnd* backEnd);
// The installed back end, or nullptr (remote monitoring then reports it is not available).
MqttBackEnd* mqttBackEnd();

}  // namespace platform
