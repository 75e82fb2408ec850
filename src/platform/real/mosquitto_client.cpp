#include "platform/real/mosquitto_client.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netdb.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/event_loop.h"

namespace platform {

namespace {

// How long one turn of libmosquitto's loop may wait for the socket. Nothing waits for it to
// run out: a publish or a disconnect wakes it through libmosquitto's own pipe, an abort or
// the client's end by shutting the socket down. It only paces the keepalive checks.
constexpr int kLoopWaitMs = 1000;
// close(): how long the DISCONNECT may take to leave once queued (a write into the kernel's
// buffer, unless the broker has stopped reading and that buffer is full).
constexpr auto kDisconnectFlush = std::chrono::milliseconds(200);
// The back end's wait at the station's exit for client threads still running (a name lookup
// the resolver has not given up on yet), in all. Nothing else ever waits for them.
constexpr auto kExitWait = std::chrono::seconds(1);
// Later publishes after which a QoS 1 message still unanswered ends the connection, well
// before libmosquitto's 16-bit message numbers come round to it again.
constexpr std::uint64_t kUnansweredLimit = 30000;
// MQTT 5 CONNACK: "unsupported protocol version".
constexpr int kV5UnsupportedProtocol = 0x84;
// libmosquitto refuses a keepalive under 5 s, and 0 would never notice a dead broker.
constexpr int kMinKeepAlive = 5;
constexpr int kMaxKeepAlive = 65535;
constexpr const char* kSystemCaPath = "/etc/ssl/certs";

// What the clients' threads share with the process: libmosquitto's process-wide set-up,
// counted over back ends and client threads (a thread left to finish a lookup after its
// client has gone may still call into the library), and the threads still running. Never
// destroyed: a thread may outlive the process's static objects.
struct Shared {
    std::mutex mutex;
    int libraryUsers = 0;
    int threadsRunning = 0;
    std::condition_variable threadEnded;
};

Shared& shared() {
    static Shared* const s = new Shared;
    return *s;
}

struct LibraryHold {
    LibraryHold() {
        std::lock_guard<std::mutex> lock(shared().mutex);
        if (shared().libraryUsers++ == 0) mosquitto_lib_init();
    }
    ~LibraryHold() {
        std::lock_guard<std::mutex> lock(shared().mutex);
        if (--shared().libraryUsers == 0) mosquitto_lib_cleanup();
    }
    LibraryHold(const LibraryHold&) = delete;
    LibraryHold& operator=(const LibraryHold&) = delete;
};

// The system's and the resolver's texts start with a capital; the operator's reasons do not.
std::string lowerFirst(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string systemText(int error) {
    if (error == 0) return "unknown error";
    char buffer[128];
    return lowerFirst(strerror_r(error, buffer, sizeof buffer));
}

// A CONNACK's refusal: MQTT 3.1.1's return codes, and MQTT 5's reason codes on the same texts.
std::string refusalText(int protocol, int code) {
    if (protocol == MQTT_PROTOCOL_V5) {
        switch (code) {
            case 0x84:
                code = 1;
                break;
            case 0x85:
                code = 2;
                break;
            case 0x88:
            case 0x89:
            case 0x9C:
            case 0x9D:
            case 0x9F:
                code = 3;
                break;
            case 0x86:
            case 0x8C:
                code = 4;
                break;
            case 0x87:
            case 0x8A:
                code = 5;
                break;
            default:
                return "connection refused: " + MqttReasonText(code);
        }
    }
    switch (code) {
        case 1:
            return "connection refused: unacceptable protocol version";
        case 2:
            return "connection refused: client identifier rejected";
        case 3:
            return "connection refused: server unavailable";
        case 4:
            return "connection refused: not authorised (bad user name or password)";
        case 5:
            return "connection refused: not authorised";
        default:
            return "connection refused: code " + std::to_string(code);
    }
}

bool readable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

class MosquittoClient;

// The loop's side of a client: posted events reach the client through it only while it
// lives and only for the attempt they were posted for.
struct Gate {
    MosquittoClient* client = nullptr;
    std::uint64_t attempt = 0;  // the attempt whose events are awaited; loop thread only
};

// What the client and its thread share; the thread keeps it alive as long as it runs.
struct Core {
    LibraryHold library;
    MqttOptions options;
    std::function<void(const std::string&)> beforeLookup;
    std::weak_ptr<Gate> gate;  // set before the thread starts, only copied after
    // The loop the client was made on; nullptr once the client is gone. The thread posts to
    // it, never to whatever loop is installed by then (none, in a test torn down).
    std::mutex posting;
    EventLoop* loop = nullptr;

    // Requests, and the attempt's libmosquitto instance while its connection may be up.
    std::mutex mutex;
    std::condition_variable wake;     // for the thread: a request
    std::condition_variable settled;  // for the client: an attempt or the thread has ended
    bool connectWanted = false;
    std::uint64_t wantedAttempt = 0;
    bool cancelled = false;      // the attempt ends at once, nothing of it is delivered
    bool disconnecting = false;  // it ends once its DISCONNECT is out, nothing delivered
    bool stopping = false;
    bool busy = false;  // an attempt is under way on the thread
    mosquitto* live = nullptr;
    // A duplicate of the instance's socket, so that another thread can shut the connection
    // down while libmosquitto may be closing its own descriptor: a descriptor number read
    // from the instance could by then name someone else's file.
    int socketCopy = -1;

    // What close() waits for. The only lock libmosquitto's callbacks take, and nothing is
    // called while it is held, so it can never close a cycle with libmosquitto's own locks.
    std::mutex ackMutex;
    std::condition_variable ackArrived;
    bool collectAcks = false;
    std::map<int, int> acks;  // message number, reason code
    bool connectionDown = false;
};

// One try of an attempt with one protocol version, on the thread: libmosquitto's callbacks
// fill it in.
struct Attempt {
    Attempt(Core* c, std::uint64_t i, int p) : core(c), id(i), protocol(p) {}
    Core* core;
    std::uint64_t id;
    int protocol;
    bool answered = false;  // CONNACK with success
    bool over = false;
    std::string refusal;
    int refusalCode = 0;
    int lostRc = MOSQ_ERR_SUCCESS;
    int lostErrno = 0;
    bool lost = false;
    std::string firstError;  // libmosquitto's first error line (OpenSSL's reasons)
};

class MosquittoClient : public MqttClient {
  public:
    MosquittoClient(const MqttOptions& options, MqttEvents events,
                    std::function<void(const std::string&)> beforeLookup);
    ~MosquittoClient() override;
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    void connect() override;
    int publish(const std::string& topic, const std::string& payload, int qos,
                bool retain) override;
    void abort() override;
    void disconnect() override;
    bool close(const std::string& topic, const std::string& payload,
               double timeoutSeconds) override;

    // The thread's events, on the loop.
    void connected(const MqttConnection& connection);
    void published(int messageId, int reasonCode);
    void ended(const std::string& reason);

  private:
    // Ending: the client has ended the connection itself and its ended() is on the way.
    enum class State { Idle, Connecting, Connected, Ending };
    // Whatever the thread still posts for the attempt under way is dropped from now on.
    void forgetAttempt();
    void cancelAttempt();

    std::shared_ptr<Core> core_;
    std::shared_ptr<Gate> gate_;
    MqttEvents events_;
    State state_ = State::Idle;
    // The QoS 1 messages of this attempt not answered yet, by number and by the count of
    // publishes when each was made.
    std::unordered_map<int, std::uint64_t> unacknowledged_;
    std::map<std::uint64_t, int> unansweredInOrder_;
    std::uint64_t publishes_ = 0;
};

template <class Fn>
void deliver(const Attempt& a, Fn fn) {
    std::lock_guard<std::mutex> lock(a.core->posting);
    if (a.core->loop == nullptr) return;  // the client is gone: nothing of it is delivered
    a.core->loop->postFromAnyThread([gate = a.core->gate, id = a.id, fn = std::move(fn)] {
        const std::shared_ptr<Gate> g = gate.lock();
        if (g && g->client != nullptr && g->attempt == id) fn(*g->client);
    });
}

void deliverEnd(const Attempt& a, std::string reason) {
    deliver(a, [reason = std::move(reason)](MosquittoClient& c) { c.ended(reason); });
}

std::string tlsText(const Attempt& a) {
    // libmosquitto logs OpenSSL's reason as "OpenSSL Error[0]: error:...:reason".
    std::string text = a.firstError;
    const auto colon = text.rfind(':');
    if (text.rfind("OpenSSL Error", 0) == 0 && colon != std::string::npos)
        text = text.substr(colon + 1);
    return "TLS: " + (text.empty() ? std::string("the secure connection failed") : text);
}

// Why connect_async itself failed.
std::string startFailure(const MqttOptions& o, int rc, int error, const Attempt& a) {
    switch (rc) {
        case MOSQ_ERR_EAI:
            return "cannot resolve host " + o.host + ": " + lowerFirst(gai_strerror(error));
        case MOSQ_ERR_ERRNO:
            return "cannot connect: " + systemText(error);
        case MOSQ_ERR_TLS:
            return tlsText(a);
        case MOSQ_ERR_INVAL:
            return "cannot connect: no valid broker address (\"" + o.host + "\", port " +
                   std::to_string(o.port) + ")";
        default:
            return "cannot connect: " + lowerFirst(mosquitto_strerror(rc));
    }
}

// Why a connection that was under way ended.
std::string endReason(const Attempt& a) {
    if (!a.refusal.empty()) return a.refusal;
    if (a.answered) {
        if (a.lostRc == MOSQ_ERR_KEEPALIVE) return "connection lost: no answer from the broker";
        if (a.lostRc == MOSQ_ERR_ERRNO && a.lostErrno != 0)
            return "connection lost: " + systemText(a.lostErrno);
        return "connection lost";
    }
    switch (a.lostRc) {
        case MOSQ_ERR_ERRNO:
            return "cannot connect: " + systemText(a.lostErrno);
        case MOSQ_ERR_TLS:
            return tlsText(a);
        case MOSQ_ERR_KEEPALIVE:
            return "no answer from the broker";
        case MOSQ_ERR_PROTOCOL:
            return "cannot connect: the answer was not MQTT";
        default:
            return "connection closed before the broker answered";
    }
}

// The options libmosquitto takes before connecting; "" or the reason they cannot be used.
std::string configure(mosquitto* m, const MqttOptions& o) {
    if (!o.user.empty() &&
        mosquitto_username_pw_set(m, o.user.c_str(), o.password.c_str()) != MOSQ_ERR_SUCCESS)
        return "cannot connect: the user name or password is not valid UTF-8";
    if (!o.willTopic.empty() &&
        mosquitto_will_set(m, o.willTopic.c_str(), static_cast<int>(o.willPayload.size()),
                           o.willPayload.data(), 1, o.willRetain) != MOSQ_ERR_SUCCESS)
        return "cannot connect: the will's topic \"" + o.willTopic + "\" is not valid";
    if (!o.tls) return {};
    // libmosquitto says only "invalid arguments" for a file it cannot open.
    if (!o.caFile.empty() && !readable(o.caFile)) return "TLS: cannot read CA file " + o.caFile;
    if (o.certFile.empty() != o.keyFile.empty())
        return "TLS: a client certificate needs both its certificate and its key file";
    if (!o.certFile.empty() && !readable(o.certFile))
        return "TLS: cannot read certificate file " + o.certFile;
    if (!o.keyFile.empty() && !readable(o.keyFile)) return "TLS: cannot read key file " + o.keyFile;
    auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const int rc =
        mosquitto_tls_set(m, orNull(o.caFile), o.caFile.empty() ? kSystemCaPath : nullptr,
                          orNull(o.certFile), orNull(o.keyFile), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return "TLS: " + lowerFirst(mosquitto_strerror(rc));
    return {};
}

void setCallbacks(mosquitto* m) {
    mosquitto_connect_v5_callback_set(
        m, [](mosquitto*, void* data, int rc, int, const mosquitto_property* properties) {
            Attempt& a = *static_cast<Attempt*>(data);
            if (rc != 0) {
                a.refusal = refusalText(a.protocol, rc);
                a.refusalCode = rc;
                a.over = true;
                return;
            }
            a.answered = true;
            MqttConnection connection;
            connection.refusalsReported = a.protocol == MQTT_PROTOCOL_V5;
            std::uint16_t receiveMaximum = 65535;
            if (properties != nullptr)
                mosquitto_property_read_int16(properties, MQTT_PROP_RECEIVE_MAXIMUM,
                                              &receiveMaximum, false);
            connection.receiveMaximum = receiveMaximum;
            deliver(a, [connection](MosquittoClient& c) { c.connected(connection); });
        });
    mosquitto_disconnect_callback_set(m, [](mosquitto*, void* data, int rc) {
        const int error = errno;  // of the failed call, before anything here changes it
        Attempt& a = *static_cast<Attempt*>(data);
        if (!a.lost) {
            a.lost = true;
            a.lostRc = rc;
            a.lostErrno = error;
        }
        a.over = true;
        {
            std::lock_guard<std::mutex> lock(a.core->ackMutex);
            a.core->connectionDown = true;
        }
        a.core->ackArrived.notify_all();
    });
    mosquitto_publish_v5_callback_set(
        m, [](mosquitto*, void* data, int mid, int reason, const mosquitto_property*) {
            Attempt& a = *static_cast<Attempt*>(data);
            // Also called for QoS 0 messages once written: the loop keeps to its QoS 1 ones.
            deliver(a, [mid, reason](MosquittoClient& c) { c.published(mid, reason); });
            {
                std::lock_guard<std::mutex> lock(a.core->ackMutex);
                if (!a.core->collectAcks) return;
                a.core->acks[mid] = reason;
            }
            a.core->ackArrived.notify_all();
        });
    mosquitto_log_callback_set(m, [](mosquitto*, void* data, int level, const char* text) {
        Attempt& a = *static_cast<Attempt*>(data);
        if ((level & MOSQ_LOG_ERR) != 0 && a.firstError.empty() && text != nullptr)
            a.firstError = text;
    });
}

void runLoop(Core& core, mosquitto* m, Attempt& a) {
    while (!a.over) {
        const int rc = mosquitto_loop(m, kLoopWaitMs, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (!a.lost) {
                a.lost = true;
                a.lostRc = rc;
                a.lostErrno = errno;
            }
            return;
        }
        std::lock_guard<std::mutex> lock(core.mutex);
        if (core.cancelled || core.stopping) return;
    }
}

bool stopped(Core& core) {
    std::lock_guard<std::mutex> lock(core.mutex);
    return core.cancelled || core.stopping;
}

// Whether an MQTT 5 try ended as a broker that speaks only MQTT 3.1.1 ends it: "unacceptable
// protocol version", or the connection closed before any answer.
bool olderBroker(const Attempt& a) {
    if (a.protocol != MQTT_PROTOCOL_V5 || a.answered) return false;
    if (!a.refusal.empty()) return a.refusalCode == kV5UnsupportedProtocol || a.refusalCode == 1;
    return a.lostRc == MOSQ_ERR_CONN_LOST || a.lostRc == MOSQ_ERR_PROTOCOL ||
           a.lostRc == MOSQ_ERR_MALFORMED_PACKET ||
           (a.lostRc == MOSQ_ERR_ERRNO && a.lostErrno == ECONNRESET);
}

// One try; false when the broker speaks only an older protocol and nothing was delivered.
bool runTry(Core& core, std::uint64_t id, int protocol) {
    Attempt a(&core, id, protocol);
    {
        std::lock_guard<std::mutex> lock(core.ackMutex);
        core.connectionDown = false;
    }
    const MqttOptions& o = core.options;
    // A clean session: the broker keeps nothing of an earlier connection, and libmosquitto
    // has nothing of its own to resend on this one.
    mosquitto* m = mosquitto_new(o.clientId.empty() ? nullptr : o.clientId.c_str(), true, &a);
    if (m == nullptr) {
        deliverEnd(a, "cannot connect: " + systemText(errno));
        return true;
    }
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, protocol);
    mosquitto_int_option(m, MOSQ_OPT_SEND_MAXIMUM, std::clamp(o.sendMaximum, 1, 65535));
    setCallbacks(m);
    std::string problem = configure(m, o);
    if (problem.empty()) {
        errno = 0;
        // The name lookup and the start of the TCP connection happen here, on this thread.
        const int rc =
            mosquitto_connect_async(m, o.host.c_str(), o.port,
                                    std::clamp(o.keepAliveSeconds, kMinKeepAlive, kMaxKeepAlive));
        const int error = errno;
        if (rc != MOSQ_ERR_SUCCESS) problem = startFailure(o, rc, error, a);
    }
    bool silent = false;
    {
        std::lock_guard<std::mutex> lock(core.mutex);
        silent = core.cancelled || core.stopping;
        if (problem.empty() && !silent) {
            core.live = m;
            core.socketCopy = ::fcntl(mosquitto_socket(m), F_DUPFD_CLOEXEC, 0);
        }
    }
    if (problem.empty() && !silent) {
        runLoop(core, m, a);
        problem = endReason(a);
        std::lock_guard<std::mutex> lock(core.mutex);
        core.live = nullptr;
        if (core.socketCopy >= 0) ::close(core.socketCopy);
        core.socketCopy = -1;
        silent = core.cancelled || core.disconnecting || core.stopping;
    }
    // Without a DISCONNECT: when the connection was up, the broker publishes the will.
    mosquitto_destroy(m);
    if (silent) return true;
    if (olderBroker(a)) return false;
    deliverEnd(a, std::move(problem));
    return true;
}

void runAttempt(Core& core, std::uint64_t id) {
    if (core.beforeLookup) core.beforeLookup(core.options.host);
    if (stopped(core)) return;
    if (!runTry(core, id, MQTT_PROTOCOL_V5) && !stopped(core))
        runTry(core, id, MQTT_PROTOCOL_V311);
}

void runThread(std::shared_ptr<Core> core) {
    // Named, so that its share of the station's CPU can be told apart (top -H, /proc).
    pthread_setname_np(pthread_self(), "vnk-mqtt");
    std::unique_lock<std::mutex> lock(core->mutex);
    for (;;) {
        core->wake.wait(lock, [&] { return core->stopping || core->connectWanted; });
        if (core->stopping) break;
        core->connectWanted = false;
        core->cancelled = false;
        core->disconnecting = false;
        core->busy = true;
        const std::uint64_t id = core->wantedAttempt;
        lock.unlock();
        runAttempt(*core, id);
        lock.lock();
        core->busy = false;
        core->settled.notify_all();
    }
    lock.unlock();
    core.reset();
    std::lock_guard<std::mutex> hold(shared().mutex);
    --shared().threadsRunning;
    shared().threadEnded.notify_all();
}

MosquittoClient::MosquittoClient(const MqttOptions& options, MqttEvents events,
                                 std::function<void(const std::string&)> beforeLookup)
    : core_(std::make_shared<Core>()), gate_(std::make_shared<Gate>()), events_(std::move(events)) {
    core_->options = options;
    core_->beforeLookup = std::move(beforeLookup);
    gate_->client = this;
    core_->gate = gate_;
    core_->loop = &loop();
    {
        std::lock_guard<std::mutex> lock(shared().mutex);
        ++shared().threadsRunning;
    }
    // Never joined: it ends by itself once told to stop, and nothing waits for it.
    std::thread(runThread, core_).detach();
}

MosquittoClient::~MosquittoClient() {
    gate_->client = nullptr;
    gate_.reset();
    {
        std::lock_guard<std::mutex> lock(core_->posting);
        core_->loop = nullptr;
    }
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->stopping = true;
    core_->cancelled = true;
    core_->connectWanted = false;
    if (core_->socketCopy >= 0) ::shutdown(core_->socketCopy, SHUT_RDWR);
    core_->wake.notify_all();
}

void MosquittoClient::forgetAttempt() {
    state_ = State::Idle;
    ++gate_->attempt;
    unacknowledged_.clear();
    unansweredInOrder_.clear();
    publishes_ = 0;
}

void MosquittoClient::cancelAttempt() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->cancelled = true;
    core_->connectWanted = false;
    // The broker sees the connection end now, not at the thread's next turn.
    if (core_->socketCopy >= 0) ::shutdown(core_->socketCopy, SHUT_RDWR);
}

void MosquittoClient::connect() {
    if (state_ != State::Idle) return;
    state_ = State::Connecting;
    ++gate_->attempt;
    unacknowledged_.clear();
    unansweredInOrder_.clear();
    publishes_ = 0;
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        core_->connectWanted = true;
        core_->wantedAttempt = gate_->attempt;
    }
    core_->wake.notify_one();
}

int MosquittoClient::publish(const std::string& topic, const std::string& payload, int qos,
                             bool retain) {
    if (state_ != State::Connected || qos < 0 || qos > 2 || payload.size() > INT_MAX) return -1;
    int mid = 0;
    int rc = MOSQ_ERR_NO_CONN;
    {
        // Held across the call: the thread destroys the instance only under this lock.
        std::lock_guard<std::mutex> lock(core_->mutex);
        if (core_->live != nullptr)
            rc = mosquitto_publish(core_->live, &mid, topic.c_str(),
                                   static_cast<int>(payload.size()), payload.data(), qos, retain);
    }
    if (rc != MOSQ_ERR_SUCCESS) return -1;
    ++publishes_;
    if (qos > 0) {
        unacknowledged_[mid] = publishes_;
        unansweredInOrder_[publishes_] = mid;
    }
    if (!unansweredInOrder_.empty() &&
        publishes_ - unansweredInOrder_.begin()->first >= kUnansweredLimit) {
        // Its number comes round again before long: the connection ends, and the caller
        // sends the message again on the next one.
        const int oldest = unansweredInOrder_.begin()->second;
        cancelAttempt();
        state_ = State::Ending;
        unacknowledged_.clear();
        unansweredInOrder_.clear();
        loop().post(0.0, [gate = std::weak_ptr<Gate>(gate_), attempt = gate_->attempt, oldest] {
            const std::shared_ptr<Gate> g = gate.lock();
            if (g && g->client != nullptr && g->attempt == attempt)
                g->client->ended("connection lost: message " + std::to_string(oldest) +
                                 " unanswered after " + std::to_string(kUnansweredLimit) +
                                 " later messages");
        });
    }
    return qos == 0 ? 0 : mid;
}

void MosquittoClient::abort() {
    forgetAttempt();
    cancelAttempt();
}

void MosquittoClient::disconnect() {
    if (state_ != State::Connected) {
        abort();
        return;
    }
    forgetAttempt();
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->live == nullptr) return;
    // libmosquitto's thread writes the DISCONNECT and closes the socket, which ends the
    // attempt there without an event.
    core_->disconnecting = true;
    mosquitto_disconnect(core_->live);
}

bool MosquittoClient::close(const std::string& topic, const std::string& payload,
                            double timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(std::clamp(timeoutSeconds, 0.0, 3600.0)));
    if (state_ != State::Connected) {
        abort();
        return false;
    }
    forgetAttempt();
    {
        std::lock_guard<std::mutex> lock(core_->ackMutex);
        core_->collectAcks = true;
        core_->acks.clear();
    }
    int mid = 0;
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(core_->mutex);
        if (core_->live != nullptr)
            queued = mosquitto_publish(core_->live, &mid, topic.c_str(),
                                       static_cast<int>(payload.size()), payload.data(), 1,
                                       true) == MOSQ_ERR_SUCCESS;
    }
    bool acknowledged = false;
    {
        std::unique_lock<std::mutex> lock(core_->ackMutex);
        if (queued) {
            core_->ackArrived.wait_until(lock, deadline, [&] {
                return core_->acks.count(mid) > 0 || core_->connectionDown;
            });
            const auto answer = core_->acks.find(mid);
            acknowledged = answer != core_->acks.end() && answer->second < 0x80;
        }
        core_->collectAcks = false;
        core_->acks.clear();
    }
    std::unique_lock<std::mutex> lock(core_->mutex);
    if (!acknowledged) {
        // The last message may still wait behind others, or the broker refused it: the
        // connection ends without a DISCONNECT, so that the broker publishes the will.
        core_->cancelled = true;
        if (core_->socketCopy >= 0) ::shutdown(core_->socketCopy, SHUT_RDWR);
        return false;
    }
    if (core_->live != nullptr) {
        // A clean end: the broker drops the will. libmosquitto closes the socket once the
        // DISCONNECT is written, which ends the attempt on the thread.
        core_->disconnecting = true;
        mosquitto_disconnect(core_->live);
    }
    if (!core_->settled.wait_for(lock, kDisconnectFlush, [&] { return !core_->busy; })) {
        core_->cancelled = true;
        if (core_->socketCopy >= 0) ::shutdown(core_->socketCopy, SHUT_RDWR);
    }
    return true;
}

void MosquittoClient::connected(const MqttConnection& connection) {
    if (state_ != State::Connecting) return;
    state_ = State::Connected;
    if (auto fn = events_.connected) fn(connection);
}

void MosquittoClient::published(int messageId, int reasonCode) {
    const auto it = unacknowledged_.find(messageId);
    if (it == unacknowledged_.end()) return;
    unansweredInOrder_.erase(it->second);
    unacknowledged_.erase(it);
    if (reasonCode >= 0x80) {
        if (auto fn = events_.refused) fn(messageId, reasonCode, MqttReasonText(reasonCode));
    } else if (auto fn = events_.acknowledged) {
        fn(messageId);
    }
}

void MosquittoClient::ended(const std::string& reason) {
    forgetAttempt();
    // A copy: the handler may destroy this client.
    if (auto fn = events_.ended) fn(reason);
}

}  // namespace

struct MosquittoLibrary {
    LibraryHold hold;
};

MosquittoBackEnd::MosquittoBackEnd() : library_(std::make_unique<MosquittoLibrary>()) {}

MosquittoBackEnd::~MosquittoBackEnd() {
    // The station's exit: threads still in a name lookup have a moment to finish.
    std::unique_lock<std::mutex> lock(shared().mutex);
    shared().threadEnded.wait_for(lock, kExitWait, [] { return shared().threadsRunning == 0; });
}

std::unique_ptr<MqttClient> MosquittoBackEnd::create(const MqttOptions& options,
                                                     MqttEvents events) {
    return std::make_unique<MosquittoClient>(options, std::move(events), beforeLookup_);
}

void MosquittoBackEnd::setBeforeLookup(std::function<void(const std::string& host)> hook) {
    beforeLookup_ = std::move(hook);
}

}  // namespace platform
