// The real MQTT back end: clients on libmosquitto. Each client has a thread of its own that
// resolves the broker's name, makes the TCP and TLS connection and runs libmosquitto's
// network loop, so that nothing the network does (a name server that does not answer, an
// address that swallows the handshake, a broker that stops answering) ever holds up the
// event loop. Every connect() is one attempt on a fresh libmosquitto instance with a clean
// session: libmosquitto never resends anything by itself, the caller resends what it needs.
//
// Reasons an attempt ends with, for the operator:
//   "cannot resolve host NAME: <resolver's text>"
//   "cannot connect: <system's text>"                   e.g. "connection refused"
//   "cannot connect: the answer was not MQTT"
//   "connection refused: not authorised"                CONNACK 5
//   "connection refused: not authorised (bad user name or password)"  CONNACK 4
//   "connection refused: <other CONNACK reason>"
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
#pragma once

#include <memory>

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

  private:
    // libmosquitto's set-up, held while the back end lives (and by each client's thread).
    std::unique_ptr<MosquittoLibrary> library_;
};

}  // namespace platform
