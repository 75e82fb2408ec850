// The Qt application object a test suite needs (Qt allows one per process): made when the
// suite starts and deleted when it ends, so that Qt and its libraries clean up.
#pragma once

#include <QCoreApplication>
#include <cstdio>
#include <QString>
#include <QtGlobal>

// The offscreen platform warns of each window raised, each size hint passed on and each
// keyboard grab (a menu opened by a tap), which it cannot do; thousands of those lines would
// bury a failing test's output. Every other message is printed.
inline void quietOffscreenPlatform() {
    static QtMessageHandler next = nullptr;
    static bool installed = false;
    if (installed) return;
    installed = true;
    next = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                     const QString& text) {
        if (text == "This plugin does not support raise()" ||
            text == "This plugin does not support propagateSizeHints()" ||
            text == "This plugin does not support grabbing the keyboard")
            return;
        if (next != nullptr)
            next(type, context, text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    });
}

template <typename App = QCoreApplication>
struct TestQtApp {
    static void start() {
        static int argc = 1;
        static char name[] = "vnk_tests";
        static char* argv[] = {name, nullptr};
        if (app() == nullptr) {
            quietOffscreenPlatform();
            app() = new App(argc, argv);
        }
    }
    static void stop() {
        delete app();
        app() = nullptr;
    }
    static App*& app() {
        static App* instance = nullptr;
        return instance;
    }
};
