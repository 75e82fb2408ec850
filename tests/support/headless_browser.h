// Debian's Chromium, headless, driven over its DevTools pipe (file descriptors 3 and 4,
// messages of JSON ended by a NUL): one page, JavaScript evaluated in it, a screenshot.
// No port is opened and no driver program is needed. Every wait is bounded, and the browser
// is never left running after the test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

class HeadlessBrowser {
  public:
    // Chromium's own binary: /usr/bin/chromium is a shell wrapper that does not keep the
    // pipe's descriptors open.
    static std::string program() {
        for (const char* p : {"/usr/lib/chromium/chromium", "/usr/bin/chromium"})
            if (::access(p, X_OK) == 0) return p;
        return {};
    }

    HeadlessBrowser() {
        static std::atomic<int> made{0};
        profile_ = std::filesystem::temp_directory_path() /
                   ("vnk_chromium_" + std::to_string(::getpid()) + "_" + std::to_string(made++));
        std::filesystem::remove_all(profile_);
        std::filesystem::create_directories(profile_);
    }
    HeadlessBrowser(const HeadlessBrowser&) = delete;
    HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;
    ~HeadlessBrowser() {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(profile_, ignored);
    }

    // Starts the browser with a window of this size; false when it cannot be started or does
    // not answer within 30 s (log() says why).
    bool start(int width = 1280, int height = 900) {
        const std::string exe = program();
        if (exe.empty()) return false;
        int toBrowser[2], fromBrowser[2];
        if (::pipe2(toBrowser, O_CLOEXEC) != 0 || ::pipe2(fromBrowser, O_CLOEXEC) != 0)
            return false;
        // Above 4, so that placing them at 3 and 4 in the child cannot overwrite one another.
        const int readEnd = ::fcntl(toBrowser[0], F_DUPFD_CLOEXEC, 10);
        const int writeEnd = ::fcntl(fromBrowser[1], F_DUPFD_CLOEXEC, 10);
        ::close(toBrowser[0]);
        ::close(fromBrowser[1]);
        out_ = toBrowser[1];
        in_ = fromBrowser[0];
        std::vector<std::string> args{
            exe,
            "--headless=new",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-dev-shm-usage",
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-extensions",
            "--disable-background-networking",
            "--remote-debugging-pipe",
            "--hide-scrollbars",
            "--user-data-dir=" + profile_.string(),
            "--window-size=" + std::to_string(width) + "," + std::to_string(height),
            "about:blank"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, readEnd, 3);
        posix_spawn_file_actions_adddup2(&actions, writeEnd, 4);
        const std::string log = (profile_ / "browser.log").string();
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(readEnd);
        ::close(writeEnd);
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        const QJsonObject target = call("Target.createTarget", {{"url", "about:blank"}}, {}, 30.0);
        const QString targetId = target["targetId"].toString();
        if (targetId.isEmpty()) return false;
        session_ =
            call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}})["sessionId"]
                .toString();
        if (session_.isEmpty()) return false;
        call("Emulation.setDeviceMetricsOverride",
             {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}},
             session_);
        return true;
    }

    // Opens url in the page; true once the document has loaded.
    bool open(const std::string& url) {
        if (session_.isEmpty()) return false;
        call("Page.enable", {}, session_);
        call("Page.navigate", {{"url", QString::fromStdString(url)}}, session_);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            if (evaluate("document.readyState").toString() == "complete") return true;
            ::usleep(50000);
        }
        return false;
    }

    // The value of a JavaScript expression in the page (returned by value: a number, a text,
    // a bool, or JSON-able objects); undefined when it threw or the browser did not answer.
    QJsonValue evaluate(const std::string& expression) {
        const QJsonObject r =
            call("Runtime.evaluate",
                 {{"expression", QString::fromStdString(expression)}, {"returnByValue", true}},
                 session_);
        if (r.contains("exceptionDetails")) {
            lastError_ = QJsonDocument(r["exceptionDetails"].toObject()).toJson().toStdString();
            return QJsonValue(QJsonValue::Undefined);
        }
        return r["result"].toObject()["value"];
    }

    // A PNG of the whole page (beyond the window when it is longer), written to path.
    bool screenshot(const std::filesystem::path& path) {
        const QJsonObject r = call("Page.captureScreenshot",
                                   {{"format", "png"}, {"captureBeyondViewport", true}}, session_);
        const QByteArray png = QByteArray::fromBase64(r["data"].toString().toLatin1());
        if (png.size() < 8) return false;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(png.constData(), png.size());
        return true;
    }

    void stop() {
        if (pid_ > 0) {
            send("Browser.close", {}, {});
            int status = 0;
            bool gone = false;
            for (int i = 0; i < 300 && !gone; ++i) {
                gone = ::waitpid(pid_, &status, WNOHANG) == pid_;
                if (!gone) ::usleep(10000);
            }
            if (!gone) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
            pid_ = -1;
        }
        if (out_ >= 0) ::close(out_);
        if (in_ >= 0) ::close(in_);
        out_ = in_ = -1;
    }

    std::string log() const {
        std::ifstream in(profile_ / "browser.log");
        return std::string(std::istreambuf_iterator<char>(in), {}) + lastError_;
    }

  private:
    int send(const QString& method, const QJsonObject& params, const QString& session) {
        if (out_ < 0) return -1;
        QJsonObject message{{"id", ++lastId_}, {"method", method}, {"params", params}};
        if (!session.isEmpty()) message["sessionId"] = session;
        QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact);
        bytes.append('\0');
        const char* p = bytes.constData();
        std::size_t left = static_cast<std::size_t>(bytes.size());
        while (left > 0) {
            const ssize_t n = ::write(out_, p, left);
            if (n <= 0) return -1;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return lastId_;
    }

    // Sends one command and waits for its answer, passing over the events in between; an
    // empty object when the browser answered with an error or not within the time.
    QJsonObject call(const QString& method, const QJsonObject& params, const QString& session = {},
                     double seconds = 15.0) {
        const int id = send(method, params, session);
        if (id < 0) return {};
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            std::size_t nul;
            while ((nul = buffer_.find('\0')) != std::string::npos) {
                const QJsonObject m =
                    QJsonDocument::fromJson(QByteArray::fromStdString(buffer_.substr(0, nul)))
                        .object();
                buffer_.erase(0, nul + 1);
                if (m["id"].toInt(-1) != id) continue;
                if (m.contains("error"))
                    lastError_ = QJsonDocument(m["error"].toObject()).toJson().toStdString();
                return m["result"].toObject();
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd p{in_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[65536];
            const ssize_t n = ::read(in_, chunk, sizeof chunk);
            if (n <= 0) return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    std::filesystem::path profile_;
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    int lastId_ = 0;
    QString session_;
    std::string buffer_;
    std::string lastError_;
};
