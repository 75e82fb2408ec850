// The station's own dialogs for a finger on a touch screen with no keyboard: a message or
// question with large answer buttons, and an on-screen keyboard for a line of text. They are
// drawn in the look of the on-screen keypad (the panel blue, a white display, large bold
// keys, a green OK). The file chooser (file_chooser.h) is built from the same parts.
//
// None of them is modal or places itself: QtPopups shows them, places them through the view
// and waits for their answer on a loop of its own.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

class QKeyEvent;
class QPaintEvent;
class QShowEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace ui::qt {

// Every button of these dialogs is at least this size: a finger's width.
inline constexpr int kTouchMin = 48;

// A dialog in the station's touch look, with its title drawn inside it (a screen with no
// window manager shows no title bar). Return and Enter give enterPressed(), Escape rejects.
class TouchDialog : public QDialog {
  public:
    explicit TouchDialog(const QString& title, QWidget* parent = nullptr);

    // The bold caption that repeats the title inside the dialog.
    QLabel* caption() const { return caption_; }

  protected:
    // A large button that takes no keyboard focus (the keys go to the dialog).
    QPushButton* touchButton(const QString& text, const QString& name, int width, int height,
                             QWidget* parent);
    // The green OK of the keypad.
    static void makeGreen(QPushButton* button);
    virtual void enterPressed() = 0;
    void keyPressEvent(QKeyEvent* event) override;
    // Its edge, which a screen without a window manager draws no frame around.
    void paintEvent(QPaintEvent* event) override;

  private:
    QLabel* caption_;
};

// A message (one answer) or a question (two): the title, the text word-wrapped in a readable
// size, and a row of answers of 140 x 64 px. A tap on an answer ends it with that answer;
// closing the window, Escape or reject() give the escape answer, and so does Return (the
// escape answer is the safe one). accept() gives the first answer.
class TouchMessage : public TouchDialog {
  public:
    TouchMessage(const QString& title, const QString& text, std::vector<QString> answers,
                 int escape, QWidget* parent = nullptr);

    // The index of the answer given (the escape answer until one is tapped).
    int answer() const { return answer_; }
    int escapeIndex() const { return escape_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }
    QPushButton* escapeButton() const { return buttons_[static_cast<std::size_t>(escape_)]; }
    QString text() const;
    // Every answer but the escape answer is dimmed for that long after the dialog shows: a
    // tap meant for the dialog before it gives nothing.
    void holdAnswers(int milliseconds);

    void accept() override;
    void reject() override;

  protected:
    void enterPressed() override;
    void showEvent(QShowEvent* event) override;

  private:
    void answerWith(int index);
    int holdMs_ = 0;
    QLabel* text_ = nullptr;
    std::vector<QPushButton*> buttons_;
    int escape_ = 0;
    int answer_ = 0;
};

// A keyboard on the screen: the prompt, a one-line display of what is typed (from the text
// the field holds, so that a one-letter fix is a tap or two, not the whole text again),
// keys A-Z, 0-9, space, - . _ /, a case key that switches the letters between capitals and
// small letters (each key shows the letter it types), backspace, Clear, Cancel and OK. The
// keys of characters its field refuses are dimmed.
// Every key is at least 52 x 52 px, and the whole keyboard fits left of a bank window's STOP
// column. At most maxLength characters are taken; the line under
// the display counts them. A keyboard, where there is one, types printable ASCII, Backspace
// erases, Return is OK and Escape is Cancel.
class TouchKeyboard : public TouchDialog {
  public:
    TouchKeyboard(const QString& title, const QString& prompt, int maxLength,
                  QWidget* parent = nullptr);

    QString text() const { return text_; }
    // The text the entry starts from (what the field holds now); what the keyboard could not
    // type itself is left out.
    void setText(const QString& text);
    // Characters the field refuses: their keys are dimmed and a keyboard's are not taken.
    void refuse(const QString& characters);
    // A password: each character typed shows as a star.
    void setSecret(bool secret);
    bool capitals() const { return capitals_; }
    // A key by its name: "A"-"Z", "0"-"9", "space", "-", ".", "_", "/", "case",
    // "backspace", "clear", "ok", "cancel"; null for any other name.
    QPushButton* key(const QString& name) const;
    // Every key on the keyboard.
    std::vector<QPushButton*> keys() const;

  protected:
    void enterPressed() override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void type(const QString& characters);
    void erase();
    void setCapitals(bool on);
    void refresh();
    QWidget* keyArea_ = nullptr;
    QLabel* display_ = nullptr;
    QLabel* count_ = nullptr;
    QString text_;
    bool secret_ = false;
    QString refused_;
    int maxLength_;
    bool capitals_ = true;
};

}  // namespace ui::qt
