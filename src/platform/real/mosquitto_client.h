// The real MQTT back end: clients on libmosquitto. Each client has a thread of its own that
// resolves the broker's name, makes the TCP and TLS connection and runs libmosquitto's
// network loop, so that nothing the network does (a name server that does not answer, an
// address that swallows the handshake, a broker that stops answering) ever holds up the
// event loop. Every connect() is one attempt on a fresh libmosquitto instance with a clean
// session: libmosquitto never resends anything by itself, the caller resends what it needs.
// The attempt speaks MQTT 5, so that a publish the broker refuses comes back refused; a
// broker that speaks only MQTT 3.1.1 (it answers "unacceptable protocol version" or closes)
// is tried again at once in the same attempt with 3.1.1, and connected() says it cannot
// report refusals. Up to 512 QoS 1 messages are in flight at once (fewer when the broker's
// Receive Maximum says so); the rest wait in libmosquitto's queue.
//
// libmosquitto numbers every publish, QoS 0 or 1, from one 16-bit counter. So that a QoS 1
// message can never be answered by a later message of the same number, a QoS 1 message still
// unanswered after 30000 later publishes ends the connection:
//   "connection lost: message N unanswered after 30000 later messages"
// and the caller sends it again on the next connection.
//
// Reasons an attempt ends with, for the operator:
//   "cannot resolve host NAME: <resolver's text>"
//   "cannot connect: <system's text>"                   e.g. "connection refused"
//   "cannot connect: the answer was not MQTT"
//   "connection refused: not authorised"                CONNACK 5
//   "connection refused: not authorised (bad user name or password)"  CONNACK 4
//   "connection refused: <other CONNACK reason>"      MQTT 5's codes are given the same texts
//   "TLS: <what failed>"                                e.g. "TLS: cannot read CA file F"
//   "connection closed before the broker answered"
//   "no answer from the broker"                         the keepalive lapsed before CONNACK
//   "connection lost", "connection lost: no answer from the broker" (the keepalive lapsed),
//   "connection lost: <system's text>"
// The client applies no connect time-out of its own; the caller aborts an attempt that
// takes too long. libmosquitto's keepalive still runs while the CONNACK is awaited, so a
// broker that takes the connection and never answers ends the attempt ("no answer from the
// broker") after the keepalive (at least 5 s), unless the caller's time-out comes first.
// Creating a client makes the process ignore SIGPIPE (libmosquitto does so).
//
// Nothing waits for a client's thread on the loop: destroying a client whose thread sits in
// a name lookup returns at once and leaves the thread to finish alone, touching only its own
// state. The back end's destructor (at the station's exit) waits at most 1 s in all for such
// threads.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/mqtt.h"

namespace platform {

struct MosquittoLibrary;

class MosquittoBackEnd : public MqttBackEnd {
  public:
    MosquittoBackEnd();
    ~MosquittoBackEnd() override;
    MosquittoBackEnd(const MosquittoBackEnd&) = delete;
    MosquittoBackEnd& operator=(const MosquittoBackEnd&) = delete;

    // The client's events are posted to the installed loop; the back end may go before its
    // clients.
    std::unique_ptr<MqttClient> create(const MqttOptions& options, MqttEvents events) override;

    // For tests: called on a client's thread with the broker's host name at the start of each
    // attempt, before libmosquitto looks the name up; a hook that blocks stands for a name
    // server that does not answer. Applies to the clients created afterwards.
    void setBeforeLookup(std::function<void(const std::string& host)> hook);

  private:
    // libmosquitto's set-up, held while the back end lives (and by each client's thread).
    std::unique_ptr<MosquittoLibrary> library_;
    std::function<void(const std::string&)> beforeLookup_;
};

}  // namespace platform
