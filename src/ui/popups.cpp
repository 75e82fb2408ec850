#include "ui/popups.h"

#include <cstdio>
#include <cstring>

namespace ui {

namespace {
PopupBackEnd* g_backEnd = nullptr;

std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

void announce(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "popup: %s: %s\n", oneLine(title).c_str(), oneLine(text).c_str());
    std::fflush(stderr);
}
}  // namespace

void setPopupBackEnd(PopupBackEnd* backEnd) {
    g_backEnd = backEnd;
}

PopupBackEnd& popupBackEnd() {
    static AutoPopups fallback;
    return g_backEnd != nullptr ? *g_backEnd : fallback;
}

int MessagePopup(const std::string& title, const std::string& text) {
    popupBackEnd().message(title, text);
    return 0;
}

int ConfirmPopup(const std::string& title, const std::string& text, const ConfirmStyle& style) {
    return popupBackEnd().confirm(title, text, style) ? 1 : 0;
}

int ConfirmOverwritePopup() {
    return ConfirmPopup("File Exists",
                        "The filename selected already exists.  Do you want to overwrite the "
                        "contents of the file?\r\n\r\nPress \"YES\" to overwrite, \"NO\" to "
                        "cancel.");
}

int PromptPopup(const std::string& title, const std::string& text, char* buffer, int maxLength,
                const std::string& initial, bool secret) {
    if (buffer == nullptr || maxLength < 0) return -1;
    auto answer = popupBackEnd().prompt(title, text, maxLength, initial, secret);
    if (!answer) return -1;
    size_t n = std::min(answer->size(), static_cast<size_t>(maxLength));
    std::memcpy(buffer, answer->data(), n);
    buffer[n] = '\0';
    return 0;
}

int FileSelectPopup(const std::string& directory, const std::string& pattern,
                    const std::string& title, bool save, std::string& path) {
    auto answer = popupBackEnd().fileSelect(title, directory, pattern, save);
    if (!answer) return 0;
    path = *answer;
    return 1;
}

void AutoPopups::message(const std::string& title, const std::string& text) {
    announce(title, text);
}

bool AutoPopups::confirm(const std::string& title, const std::string& text, const ConfirmStyle&) {
    announce(title, text);
    return false;
}

std::optional<std::string> AutoPopups::prompt(const std::string& title, const std::string& text,
                                              int, const std::string&, bool) {
    announce(title, text);
    return std::nullopt;
}

std::optional<std::string> AutoPopups::fileSelect(const std::string& title,
                                                  const std::string& directory, const std::string&,
                                                  bool) {
    announce(title, directory);
    return std::nullopt;
}

int ScriptedPopups::count(const std::string& title) const {
    int n = 0;
    for (const Shown& s : shown_)
        if (s.title == title) ++n;
    return n;
}

void ScriptedPopups::clear() {
    shown_.clear();
    confirms_.clear();
    prompts_.clear();
    files_.clear();
}

void ScriptedPopups::message(const std::string& title, const std::string& text) {
    shown_.push_back({Kind::Message, title, text});
    if (whileShown) whileShown(shown_.back());
}

bool ScriptedPopups::confirm(const std::string& title, const std::string& text,
                             const ConfirmStyle& style) {
    shown_.push_back({Kind::Confirm, title, text, style});
    if (confirms_.empty()) return false;
    bool yes = confirms_.front();
    confirms_.pop_front();
    return yes;
}

std::optional<std::string> ScriptedPopups::prompt(const std::string& title, const std::string& text,
                                                  int, const std::string&, bool secret) {
    shown_.push_back({Kind::Prompt, title, text, {}, secret});
    if (prompts_.empty()) return std::nullopt;
    auto answer = prompts_.front();
    prompts_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPopups::fileSelect(const std::string& title,
                                                      const std::string& directory,
                                                      const std::string&, bool) {
    shown_.push_back({Kind::FileSelect, title, directory});
    if (files_.empty()) return std::nullopt;
    auto answer = files_.front();
    files_.pop_front();
    return answer;
}

}  // namespace ui
