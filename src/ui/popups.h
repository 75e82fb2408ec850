// Popups: message, confirmation (yes/no), text prompt and file selection. The back end is
// chosen at start-up: real dialogs (the Qt view), "auto" lines on stderr that take the
// default answer (headless runs), or a script (tests), which also records every popup.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

// How a question is asked: with Yes and No (No the default) or with OK and Cancel (Cancel
// the default), and over which window (a panel handle; 0 for none).
struct ConfirmStyle {
    bool okCancel = false;
    int owner = 0;
    // A question whose yes cannot be undone (the computer's shut-down) and that may come
    // right behind another: no button of it lies where the previous question's buttons were,
    // and its yes answers only kGuardedDelay after it showed (a second tap of a double tap
    // lands on nothing). No stays the default.
    bool guarded = false;
};
inline constexpr int kGuardedDelayMs = 500;

class PopupBackEnd {
  public:
    virtual ~PopupBackEnd() = default;
    virtual void message(const std::string& title, const std::string& text) = 0;
    virtual bool confirm(const std::string& title, const std::string& text,
                         const ConfirmStyle& style) = 0;
    // nullopt when cancelled. The entry starts from initial (what the field holds); a secret
    // entry (a password) shows a star for each character typed.
    virtual std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                              int maxLength, const std::string& initial,
                                              bool secret) = 0;
    virtual std::optional<std::string> fileSelect(const std::string& title,
                                                  const std::string& directory,
                                                  const std::string& pattern, bool save) = 0;
};

void setPopupBackEnd(PopupBackEnd* backEnd);
PopupBackEnd& popupBackEnd();

// The system's popup calls. ConfirmPopup returns 1 for yes, 0 for no. PromptPopup copies at
// most maxLength characters and a NUL into buffer and returns 0, or returns -1 when
// cancelled (buffer untouched); the entry starts from initial, the text the field holds now.
// FileSelectPopup returns 1 with a path, 0 when cancelled.
int MessagePopup(const std::string& title, const std::string& text);
int ConfirmPopup(const std::string& title, const std::string& text, const ConfirmStyle& style = {});
// The question asked before a file the operator chose is overwritten ("File Exists"): 1 to
// overwrite it, 0 to leave it.
int ConfirmOverwritePopup();
int PromptPopup(const std::string& title, const std::string& text, char* buffer, int maxLength,
                const std::string& initial = {}, bool secret = false);
int FileSelectPopup(const std::string& directory, const std::string& pattern,
                    const std::string& title, bool save, std::string& path);

// Headless: each popup writes "popup: <title>: <text>" (line breaks written as \n) on
// stderr and takes its default answer: OK, No, Cancel.
class AutoPopups : public PopupBackEnd {
  public:
    void message(const std::string& title, const std::string& text) override;
    bool confirm(const std::string& title, const std::string& text,
                 const ConfirmStyle& style) override;
    std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                      int maxLength, const std::string& initial,
                                      bool secret) override;
    std::optional<std::string> fileSelect(const std::string& title, const std::string& directory,
                                          const std::string& pattern, bool save) override;
};

// Tests: records every popup and answers from a queue (default answers when it is empty).
class ScriptedPopups : public PopupBackEnd {
  public:
    enum class Kind { Message, Confirm, Prompt, FileSelect };
    struct Shown {
        Kind kind;
        std::string title;
        std::string text;
        ConfirmStyle style{};  // of a confirmation
        bool secret = false;   // of a prompt: typed in stars
    };

    void answerConfirm(bool yes) { confirms_.push_back(yes); }
    void answerPrompt(std::optional<std::string> text) { prompts_.push_back(std::move(text)); }
    void answerFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }

    // Run while each message is shown, as the operator reads it: what the station has done
    // before it waits for an answer.
    std::function<void(const Shown&)> whileShown;

    const std::vector<Shown>& shown() const { return shown_; }
    // How many popups with this title were shown.
    int count(const std::string& title) const;
    void clear();

    void message(const std::string& title, const std::string& text) override;
    bool confirm(const std::string& title, const std::string& text,
                 const ConfirmStyle& style) override;
    std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                      int maxLength, const std::string& initial,
                                      bool secret) override;
    std::optional<std::string> fileSelect(const std::string& title, const std::string& directory,
                                          const std::string& pattern, bool save) override;

  private:
    std::vector<Shown> shown_;
    std::deque<bool> confirms_;
    std::deque<std::optional<std::string>> prompts_;
    std::deque<std::optional<std::string>> files_;
};

}  // namespace ui
