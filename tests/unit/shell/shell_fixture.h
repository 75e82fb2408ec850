// A fresh station shell for each test: the sim world of SimFixture, a program folder of its
// own (VNK_HOME), start-of-run tables, and the window definitions with the shell's callbacks
// bound.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "link/comcfg.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/display_prefs.h"
#include "operation/numpadcode.h"
#include "settings/config_record.h"
#include "shell/cfg.h"
#include "shell/password.h"
#include "support/sim_fixture.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace shell;

class ShellFixture : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        char pattern[] = "/tmp/vnk_shell_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        home = pattern;
        ::setenv("VNK_HOME", home.c_str(), 1);
        ResetPumpTable();
        ResetComCfg();
        settings::ResetConfigRecord();
        ResetControlIds();
        ResetDisplayPrefs();
        ResetKeypad();
        ResetPassword();
        windows::ClearCallbackBindings();
        BindDisplayPrefCallbacks();
        BindKeypadCallbacks();
        BindPasswordCallbacks();
        windows::RegisterWindowDefinitions();
    }

    void TearDown() override {
        ResetKeypad();
        ResetPassword();
        SimFixture::TearDown();
        ::unsetenv("VNK_HOME");
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }

    // The windows start-up loads before the configuration: banks 17-24, 9-16, 1-8, the
    // detail view, then the control tables.
    void loadWindows() {
        for (int b = kBankCount - 1; b >= 0; --b)
            BankPanel[b] = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
        DetailPanel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_DETAIL);
        InitControlIds();
    }

    std::string cfgPath() const { return home + "/cfg/vnk.cfg"; }

    std::string home;
};
