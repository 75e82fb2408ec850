// The Qt application object a test suite needs (Qt allows one per process): made when the
// suite starts and deleted when it ends, so that Qt and its libraries clean up.
#pragma once

#include <QCoreApplication>

template <typename App = QCoreApplication>
struct TestQtApp {
    static void start() {
        static int argc = 1;
        static char name[] = "vnk_tests";
        static char* argv[] = {name, nullptr};
        if (app() == nullptr) app() = new App(argc, argv);
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
