// A fresh station world for each test: a virtual-time loop, an in-memory settings store,
// scripted popups and an empty UI model.
#pragma once

#include <gtest/gtest.h>

#include "platform/event_loop.h"
#include "platform/registry.h"
#include "platform/sim_loop.h"
#include "ui/popups.h"
#include "ui/ui_model.h"

class SimFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setLoop(&loop);
        platform::setRegistry(&store);
        ui::setPopupBackEnd(&popups);
        ui::ResetModel();
    }
    void TearDown() override {
        ui::ResetModel();
        ui::setPopupBackEnd(nullptr);
        platform::setRegistry(nullptr);
        platform::setLoop(nullptr);
    }

    platform::SimLoop loop;
    platform::RegistryStore store;  // in memory
    ui::ScriptedPopups popups;
};
