// A fresh station world for each test: a virtual-time loop, an in-memory settings store,
// scripted popups and an empty UI model.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

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

    // A number in the settings store, as a technician leaves it there.
    void storeDword(const char* name, std::uint32_t value) {
        store.set("HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC", name,
                  platform::RegValue{platform::RegValue::Dword, value, {}, {}, {}});
    }

    platform::SimLoop loop;
    platform::RegistryStore store;  // in memory
    ui::ScriptedPopups popups;
};
