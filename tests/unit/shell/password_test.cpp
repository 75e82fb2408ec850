#include <filesystem>
#include <string>

#include "shell_fixture.h"
#include "ui/windows/entry_windows.h"
#include "ui/windows/menu_bar.h"

namespace {

using namespace windows;

int g_controlModeOpened = 0;
int g_hardwareOpened = 0;
void openControlMode() {
    ++g_controlModeOpened;
}
void openHardware() {
    ++g_hardwareOpened;
}

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC";

class Password : public ShellFixture {
  protected:
    void SetUp() override {
        ShellFixture::SetUp();
        g_controlModeOpened = g_hardwareOpened = 0;
        loadWindows();
    }
    std::optional<std::string> stored() {
        auto v = store.get(kKey, "pwd");
        if (!v || v->type != platform::RegValue::String) return std::nullopt;
        return v->text;
    }
    void setStored(const std::string& text) {
        platform::RegValue v;
        v.type = platform::RegValue::String;
        v.text = text;
        store.set(kKey, "pwd", v);
    }
    // What the operator does: tap the star display, type on the keypad, OK. What is typed
    // never shows on the keypad.
    void enter(int panel, int stars, const std::string& digits) {
        ui::Press(panel, stars);
        ASSERT_NE(KeypadPanel, 0);
        for (char c : digits) {
            int id = c == '.' ? NUMPAD_POINT : c == '-' ? NUMPAD_SIGN : NUMPAD_DIGIT_0 + (c - '0');
            ui::Press(KeypadPanel, id);
            EXPECT_EQ(keypadDisplay().find_first_not_of('*'), std::string::npos) << keypadDisplay();
        }
        EXPECT_EQ(keypadDisplay().size(), KeypadText().size());
        ui::Press(KeypadPanel, NUMPAD_OK);
    }
    static std::string keypadDisplay() { return ui::GetCtrlText(KeypadPanel, NUMPAD_DISPLAY); }
    static std::string keypadCaption() { return ui::GetCtrlText(KeypadPanel, NUMPAD_CAPTION); }
    static void installBoth() {
        SetControlModeOpener(openControlMode);
        SetHardwareWindowOpener(openHardware);
    }
    int openPrompt() {
        PasswordTarget = kPasswordTargetControlMode;
        ShowPasswordPrompt(BankPanel[0]);
        return PasswordPromptPanel();
    }
};

// The stored password opens what it guards (the default while none is stored), compared as a
// whole number; anything else is refused with the field cleared, the prompt left open and
// Change refused as well.
TEST_F(Password, OnlyTheStoredPasswordAsAWholeNumberOpensTheTarget) {
    installBoth();
    struct Case {
        const char* stored;  // nullptr: as the cases before left it
        const char* typed;
        bool opens;
    };
    const Case cases[] = {
        {nullptr, "5927", true},  // nothing stored: the default
        {nullptr, "5928", false}, {"1234", "001234", true}, {"1234", "5927", false},
        {"-42", "42-", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        if (c.stored != nullptr) setStored(c.stored);
        const int opened = g_controlModeOpened;
        popups.clear();
        const int prompt = openPrompt();
        ASSERT_NE(prompt, 0);
        enter(prompt, PWD_STARS, c.typed);
        ui::Press(prompt, PWD_OK);
        EXPECT_EQ(g_controlModeOpened - opened, c.opens ? 1 : 0);
        EXPECT_EQ(popups.count("Access Denied"), c.opens ? 0 : 1);
        if (c.opens) {
            EXPECT_EQ(PasswordPromptPanel(), 0);
            continue;
        }
        EXPECT_EQ(ui::GetCtrlDouble(prompt, PWD_VALUE), 0.0);
        EXPECT_EQ(PasswordPromptPanel(), prompt);
        ui::Press(prompt, PWD_CHANGE);
        EXPECT_EQ(PasswordChangePanel(), 0);
        ui::Press(prompt, PWD_CANCEL);
    }
    EXPECT_EQ(g_hardwareOpened, 0) << "the control mode's prompt opens nothing else";

    // A row's configure button: the hardware window.
    PasswordTarget = BankRow[2][kPosConfigure];
    ShowPasswordPrompt(BankPanel[0]);
    enter(PasswordPromptPanel(), PWD_STARS, "42-");
    ui::Press(PasswordPromptPanel(), PWD_OK);
    EXPECT_EQ(g_hardwareOpened, 1);
}

TEST_F(Password, AStoreThatCannotBeReadIsNotTakenForOneWithoutAPassword) {
    // The store is there, but nothing can be read from it: its password is unknown, not
    // missing, so the default must not open anything.
    const std::string path = home + "/registry.reg";
    std::filesystem::create_directory(path);
    platform::RegistryStore unreadable(path);
    platform::setRegistry(&unreadable);
    installBoth();
    int prompt = openPrompt();
    enter(prompt, PWD_STARS, "5927");
    ui::Press(prompt, PWD_OK);
    EXPECT_EQ(g_controlModeOpened, 0);
    EXPECT_EQ(popups.count("Access Denied"), 1);
    ui::Press(prompt, PWD_CHANGE);
    EXPECT_EQ(PasswordChangePanel(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(path));
    platform::setRegistry(&store);
}

TEST_F(Password, TheNewPasswordMustBeConfirmedAsTheSameWholeNumber) {
    int prompt = openPrompt();
    enter(prompt, PWD_STARS, "5927");  // the default: nothing is stored yet
    ui::Press(prompt, PWD_CHANGE);
    int change = PasswordChangePanel();
    ASSERT_NE(change, 0);
    EXPECT_EQ(ui::FindPanel(change)->parent, BankPanel[0]);
    EXPECT_EQ(PasswordPromptPanel(), prompt);  // the prompt stays

    enter(change, CHG_NEW_STARS, "1234");
    enter(change, CHG_CONFIRM_STARS, "1235");
    ui::Press(change, CHG_OK);
    EXPECT_EQ(popups.count("Verification Failed"), 1);
    EXPECT_EQ(stored(), "5927");
    EXPECT_EQ(PasswordChangePanel(), change);

    // Differences after the point vanish in the whole number.
    enter(change, CHG_NEW_STARS, "1234.2");
    enter(change, CHG_CONFIRM_STARS, "1234.4");
    ui::Press(change, CHG_OK);
    EXPECT_EQ(stored(), "1234");
    EXPECT_EQ(PasswordChangePanel(), 0);
    EXPECT_EQ(popups.count("Password Change Successful"), 1);
    // The prompt behind waits for the new password, empty: the old one would be refused.
    EXPECT_EQ(ui::GetCtrlDouble(prompt, PWD_VALUE), 0.0);
    EXPECT_EQ(ui::GetCtrlText(prompt, PWD_STARS), "");
}

TEST_F(Password, TheKeypadNamesEachPasswordFieldAndShowsStarsOnly) {
    int prompt = openPrompt();
    ui::Press(prompt, PWD_STARS);
    EXPECT_EQ(keypadCaption(), "System password");
    ui::Press(KeypadPanel, NUMPAD_DIGIT_0 + 5);
    ui::Press(KeypadPanel, NUMPAD_OK);
    // A tap that reaches the hidden field itself is masked as well; so is what it holds.
    Set_Password_Event(prompt, PWD_VALUE, ui::EVENT_LEFT_CLICK, nullptr, 0, 0);
    EXPECT_EQ(keypadCaption(), "System password");
    EXPECT_EQ(keypadDisplay(), "") << "it opens empty, whatever the field holds";
    ui::Press(KeypadPanel, NUMPAD_OK);
    EXPECT_NE(KeypadPanel, 0) << "OK with nothing typed does nothing";
    EXPECT_EQ(ui::GetCtrlDouble(prompt, PWD_VALUE), 5.0);
    ui::Press(KeypadPanel, NUMPAD_CANCEL);

    enter(prompt, PWD_STARS, "5927");
    ui::Press(prompt, PWD_CHANGE);
    const int change = PasswordChangePanel();
    ASSERT_NE(change, 0);
    ui::Press(change, CHG_NEW_STARS);
    EXPECT_EQ(keypadCaption(), "New password");
    ui::Press(change, CHG_CONFIRM_STARS);
    EXPECT_EQ(keypadCaption(), "Confirm new password");
    ui::Press(KeypadPanel, NUMPAD_CANCEL);
}

}  // namespace
