// The station's touch dialogs on the 1024 x 768 touch screen: every button a finger wide,
// every dialog wholly on the screen; the answers the logic's popup calls get from taps, the
// close box and the keys; the on-screen keyboard and the file chooser as a finger uses them;
// and, on the station drawn by the real view, a recording started, a pump named and the
// journal exported with taps alone.
#include "ui/qt/touch_dialogs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "hardware/hdw_pump.h"
#include "operation/journal_view.h"
#include "platform/journal.h"
#include "platform/sim/memory_journal.h"
#include "recorder/recorder.h"
#include "support/qt_app.h"
#include "support/viewed_station.h"
#include "ui/popups.h"
#include "ui/qt/file_chooser.h"
#include "ui/qt/qt_popups.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/hardware_windows.h"
#include "ui/windows/journal_window.h"

// A text in a failure message as it reads.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

namespace fs = std::filesystem;
using ui::qt::TouchFileChooser;
using ui::qt::TouchKeyboard;
using ui::qt::TouchMessage;

QRect screenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

void tapKeys(TouchKeyboard* keyboard, const QString& text) {
    const std::vector<QString> keys = keysFor(text, keyboard->capitals());
    ASSERT_FALSE(keys.empty() && !text.isEmpty()) << "no keys for " << text.toStdString();
    for (const QString& k : keys) tap(keyboard->key(k));
}

void tapRow(QTreeWidget* list, const QString& name) {
    const QList<QTreeWidgetItem*> rows = list->findItems(name, Qt::MatchExactly, 0);
    ASSERT_EQ(rows.size(), 1) << name.toStdString() << " is not listed once";
    list->scrollToItem(rows.front());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(rows.front()).center());
}

std::vector<QString> listed(const QTreeWidget* list) {
    std::vector<QString> names;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names.push_back(list->topLevelItem(i)->text(0));
    return names;
}

// Acts on the first dialog of that kind shown, from the loop a popup waits on. A dialog the
// act leaves open is rejected after a few seconds, and the test fails, rather than hang.
template <class Dialog>
class WhenShown {
  public:
    explicit WhenShown(std::function<void(Dialog*)> act) : act_(std::move(act)) {
        QObject::connect(&look_, &QTimer::timeout, [this] { look(); });
        look_.start(5);
    }
    ~WhenShown() { EXPECT_TRUE(acted_) << "the dialog never showed"; }

  private:
    void look() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = dynamic_cast<Dialog*>(w);
            if (d == nullptr || !d->isVisible()) continue;
            look_.stop();
            acted_ = true;
            act_(d);
            QTimer::singleShot(kShownWithinMs, d, [d] {
                if (!d->isVisible()) return;
                ADD_FAILURE() << "\"" << d->windowTitle().toStdString() << "\" left open";
                d->reject();
            });
            return;
        }
    }
    std::function<void(Dialog*)> act_;
    QTimer look_;
    bool acted_ = false;
};

// ---- the dialogs on their own, behind the logic's popup calls ----

class TouchDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestQtApp<QApplication>::start(); }
    static void TearDownTestSuite() { TestQtApp<QApplication>::stop(); }
    void SetUp() override {
        ui::setPopupBackEnd(&popups);
        folder = fs::temp_directory_path() /
                 ("vnk_chooser_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        ui::setPopupBackEnd(nullptr);
        fs::remove_all(folder);
    }
    // A file of the folder, written that many minutes ago.
    void file(const std::string& name, int minutesAgo) {
        std::ofstream(folder / name) << name;
        fs::last_write_time(folder / name,
                            fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo));
    }
    QString dir() const { return QString::fromStdString(folder.string()); }
    // A chooser shown as the station shows it, the proposed name made of 7 Dec 2026, 08:15.
    std::unique_ptr<TouchFileChooser> chooser(bool save, const QString& pattern = "*.csv") {
        auto c =
            std::make_unique<TouchFileChooser>("Export Journal", dir(), pattern, save,
                                               QDateTime(QDate(2026, 12, 7), QTime(8, 15, 42)));
        c->show();
        return c;
    }

    ui::qt::QtPopups popups;
    fs::path folder;
};

// What the station's own dialogs do not show: a long text scrolls (a short one does not), no
// key of the keyboard lies over another or outside it, a password shows as stars, and 12
// files scroll in a chooser that is finger-sized, its keyboard too.
TEST_F(TouchDialogs, LongContentsScrollAndNoKeyLiesOverAnother) {
    std::string longText;
    for (int i = 0; i < 40; ++i) longText += "Pump " + std::to_string(i + 1) + ": 12 lines\r\n";
    for (const std::string& text : {std::string("The system password is required."), longText}) {
        WhenShown<TouchMessage> look([&](TouchMessage* box) {
            const auto bars = box->findChildren<QScrollBar*>();
            const bool scrolls = std::any_of(bars.begin(), bars.end(), [](QScrollBar* b) {
                return b->isVisible() && b->orientation() == Qt::Vertical;
            });
            EXPECT_EQ(scrolls, text == longText) << "a long text scrolls";
            box->escapeButton()->click();
        });
        ui::MessagePopup("Recording Error", text);
    }
    {
        WhenShown<TouchKeyboard> look([](TouchKeyboard* keyboard) {
            const std::vector<QPushButton*> keys = keyboard->keys();
            for (std::size_t i = 0; i < keys.size(); ++i) {
                EXPECT_TRUE(keys[i]->parentWidget()->rect().contains(keys[i]->geometry()))
                    << keys[i]->text().toStdString();
                for (std::size_t j = i + 1; j < keys.size(); ++j)
                    EXPECT_FALSE(keys[i]->geometry().intersects(keys[j]->geometry()))
                        << keys[i]->text().toStdString() << " " << keys[j]->text().toStdString();
            }
            keyboard->reject();
        });
        char name[256] = {};
        ui::PromptPopup("Server Name?", "What is the name of the Trellmix PC computer?", name, 255);
    }
    {
        // A password is shown in stars while it is typed.
        WhenShown<TouchKeyboard> look([](TouchKeyboard* keyboard) {
            keyboard->key("S")->click();
            keyboard->key("3")->click();
            EXPECT_EQ(keyboard->findChild<QLabel*>("display")->text(), "**");
            keyboard->key("ok")->click();
        });
        char password[256] = {};
        ui::PromptPopup("Password", "Password?", password, 255, {}, true);
        EXPECT_STRCASEEQ(password, "s3");
    }
    for (int i = 0; i < 12; ++i) file("run" + std::to_string(i) + ".csv", i);
    auto c = chooser(true);
    expectTouchable(c.get(), "file chooser");
    EXPECT_TRUE(c->list()->verticalScrollBar()->isVisible()) << "12 files scroll";
    tap(c->typeButton());
    ASSERT_NE(c->keyboard(), nullptr);
    expectTouchable(c->keyboard(), "file chooser's keyboard");
}

TEST_F(TouchDialogs, QuestionsGiveYesOrOkOnlyForThatTap) {
    struct Case {
        ui::ConfirmStyle style;
        std::function<void(TouchMessage*)> act;
        int expected;
        const char* what;
    };
    const auto tapAnswer = [](const char* label) {
        return [label](TouchMessage* box) {
            for (QPushButton* b : box->buttons())
                if (b->text() == label) return tap(b);
            ADD_FAILURE() << "no " << label;
            box->reject();
        };
    };
    const auto key = [](Qt::Key k) { return [k](TouchMessage* box) { QTest::keyClick(box, k); }; };
    const std::vector<Case> cases = {
        {{}, tapAnswer("Yes"), 1, "Yes"},
        {{}, tapAnswer("No"), 0, "No"},
        {{}, [](TouchMessage* box) { box->close(); }, 0, "the close box"},
        {{}, key(Qt::Key_Escape), 0, "Escape"},
        {{}, key(Qt::Key_Return), 0, "Return: the safe answer"},
        {{.okCancel = true}, tapAnswer("OK"), 1, "OK"},
        {{.okCancel = true}, tapAnswer("Cancel"), 0, "Cancel"},
        {{.okCancel = true}, [](TouchMessage* box) { box->close(); }, 0, "OK/Cancel closed"},
    };
    for (const Case& c : cases) {
        std::vector<QString> labels;
        QString shownText;
        {
            WhenShown<TouchMessage> look([&](TouchMessage* box) {
                for (QPushButton* b : box->buttons()) labels.push_back(b->text());
                shownText = box->text();
                c.act(box);
            });
            EXPECT_EQ(ui::ConfirmPopup("File Exists", "Overwrite?\r\n\r\nPress \"YES\"", c.style),
                      c.expected)
                << c.what;
        }
        const std::vector<QString> expected = c.style.okCancel
                                                  ? std::vector<QString>{"OK", "Cancel"}
                                                  : std::vector<QString>{"Yes", "No"};
        EXPECT_EQ(labels, expected) << c.what;
        EXPECT_EQ(shownText, "Overwrite?\n\nPress \"YES\"") << "CR LF breaks a line";
    }
    // A message has OK alone, and its close box ends it as well.
    for (bool close : {false, true}) {
        std::vector<QString> labels;
        WhenShown<TouchMessage> look([&](TouchMessage* box) {
            for (QPushButton* b : box->buttons()) labels.push_back(b->text());
            if (close)
                box->close();
            else
                tap(box->buttons().front());
        });
        EXPECT_EQ(ui::MessagePopup("Reset VFD", "The drive was reset."), 0);
        EXPECT_EQ(labels, std::vector<QString>{"OK"});
    }
}

// Exit's OK, then "Shut down computer?" right behind it: a double tap there powers nothing
// off. The question has no button where Exit's were, its OK answers only after half a
// second, and Cancel stays the default.
TEST_F(TouchDialogs, AGuardedQuestionIsClearOfTheLastOneAndSlowToSayYes) {
    const auto onScreen = [](QWidget* b) { return QRect(b->mapToGlobal(QPoint(0, 0)), b->size()); };
    for (bool wait : {false, true}) {
        std::vector<QRect> exitButtons;
        {
            // Where they are once on the screen: a window manager places a window as it maps it.
            WhenShown<TouchMessage> look([&](TouchMessage* box) {
                EXPECT_TRUE(QTest::qWaitForWindowExposed(box, kShownWithinMs));
                for (QPushButton* b : box->buttons()) exitButtons.push_back(onScreen(b));
                tap(box->buttons().front());
            });
            ASSERT_EQ(ui::ConfirmPopup("Exit Program", "Exit VNK PC?", {.okCancel = true}), 1);
        }
        WhenShown<TouchMessage> look([&](TouchMessage* box) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(box, kShownWithinMs));
            for (QPushButton* b : box->buttons())
                for (const QRect& r : exitButtons)
                    EXPECT_FALSE(onScreen(b).intersects(r)) << b->text().toStdString();
            tap(box->buttons().front());  // the second tap of a double tap
            EXPECT_TRUE(box->isVisible()) << "OK answered at once";
            QTimer::singleShot(wait ? ui::kGuardedDelayMs + 100 : 50, box, [box, wait] {
                tap(wait ? box->buttons().front() : box->escapeButton());
            });
        });
        EXPECT_EQ(ui::ConfirmPopup("Shut Down Computer", "Shut down computer?",
                                   {.okCancel = true, .guarded = true}),
                  wait ? 1 : 0);
    }
}

TEST_F(TouchDialogs, TheChooserListsTheFolderNewestFirstAndProposesTheDateAndTime) {
    file("old.csv", 120);
    file("NEW.CSV", 10);
    file("middle.csv", 60);
    file("notes.txt", 5);
    fs::create_directories(folder / "folder.csv");
    auto c = chooser(true);
    EXPECT_EQ(listed(c->list()), (std::vector<QString>{"NEW.CSV", "middle.csv", "old.csv"}));
    EXPECT_EQ(c->name(), "2026-12-07_0815.csv");
    tap(c->okButton());
    EXPECT_EQ(c->result(), QDialog::Accepted);
    EXPECT_EQ(c->path(), dir() + "/2026-12-07_0815.csv");

    // The extension is the pattern's; a pattern of any file proposes none.
    EXPECT_EQ(ui::qt::patternSuffix("*.csv"), ".csv");
    EXPECT_EQ(ui::qt::patternSuffix("*.csv;*.txt"), ".csv");
    EXPECT_EQ(ui::qt::patternSuffix("*"), "");
    EXPECT_EQ(ui::qt::patternSuffix("*.*"), "");
    auto any = chooser(true, "*");
    EXPECT_EQ(any->name(), "2026-12-07_0815");
    EXPECT_EQ(listed(any->list()).size(), 4u) << "every file, no folder";
    for (bool save : {true, false}) {  // a tap on a listed file chooses it
        auto c2 = chooser(save);
        tapRow(c2->list(), "old.csv");
        EXPECT_EQ(c2->name(), "old.csv");
        tap(c2->okButton());
        EXPECT_EQ(c2->result(), QDialog::Accepted) << "save " << save;
        EXPECT_EQ(c2->path(), dir() + "/old.csv");
    }

    // Never a name the folder holds: the seconds, then a number.
    file("2026-12-07_0815.csv", 1);
    EXPECT_EQ(chooser(true)->name(), "2026-12-07_081542.csv");
    file("2026-12-07_081542.csv", 1);
    EXPECT_EQ(chooser(true)->name(), "2026-12-07_081542-2.csv");
}

// The keyboard holds the name shown, without the extension added anyway, and has no "/".
TEST_F(TouchDialogs, AnotherNameTypedOnTheKeyboard) {
    auto c = chooser(true);
    tap(c->typeButton());
    TouchKeyboard* k = c->keyboard();
    ASSERT_TRUE(k != nullptr && k->isVisible());
    EXPECT_EQ(k->text(), "2026-12-07_0815");
    EXPECT_FALSE(k->key("/")->isEnabled());
    QTest::keyClicks(k, "/b");
    EXPECT_EQ(k->text(), "2026-12-07_0815b") << "nor from a keyboard";
    tap(k->key("clear"));
    tapKeys(k, "RUN_7");
    tap(k->key("ok"));
    EXPECT_EQ(c->name(), "RUN_7.csv") << "the extension added";
    // A name typed with its extension keeps it as typed; Cancel keeps the name before it.
    tap(c->typeButton());
    EXPECT_EQ(c->keyboard()->text(), "RUN_7");
    tapKeys(c->keyboard(), "X");
    tap(c->keyboard()->key("ok"));
    EXPECT_EQ(c->name(), "RUN_7X.csv") << "a letter added in one tap";
    tap(c->typeButton());
    tap(c->keyboard()->key("clear"));
    tapKeys(c->keyboard(), "stage2.CSV");
    tap(c->keyboard()->key("ok"));
    EXPECT_EQ(c->name(), "stage2.CSV");
    tap(c->typeButton());
    tapKeys(c->keyboard(), "X");
    tap(c->keyboard()->key("cancel"));
    EXPECT_EQ(c->name(), "stage2.CSV");
    tap(c->okButton());
    EXPECT_EQ(c->result(), QDialog::Accepted);
    EXPECT_EQ(c->path(), dir() + "/stage2.CSV");

    // A chooser ended while its keyboard is open (by a watcher, say) takes the keyboard along.
    auto other = chooser(true);
    tap(other->typeButton());
    QPointer<TouchKeyboard> left = other->keyboard();
    ASSERT_FALSE(left.isNull());
    other->reject();
    EXPECT_TRUE(left.isNull() || !left->isVisible());
}

// A name OK cannot take stays in the dialog with its reason: the dialog is not left.
TEST_F(TouchDialogs, BadNamesAreRefusedWithTheirReason) {
    fs::create_directories(folder / "DATA.csv");
    file("kept.csv", 3);
    const std::vector<std::pair<QString, QString>> refused = {
        {" X", "cannot start with a space"},
        {"", "Type a name"},
        {"DATA", "is a folder"},
    };
    auto c = chooser(true);
    for (const auto& [typed, why] : refused) {
        tap(c->typeButton());
        tap(c->keyboard()->key("clear"));
        tapKeys(c->keyboard(), typed);
        tap(c->keyboard()->key("ok"));
        tap(c->okButton());
        EXPECT_TRUE(c->isVisible()) << typed.toStdString();
        EXPECT_NE(c->result(), QDialog::Accepted) << typed.toStdString();
        EXPECT_TRUE(c->refusal().contains(why))
            << typed.toStdString() << ": " << c->refusal().toStdString();
        EXPECT_TRUE(c->findChild<QLabel*>("status")->isVisible());
    }
    // A good name clears the reason and is taken.
    tapRow(c->list(), "kept.csv");
    EXPECT_EQ(c->refusal(), "");
    tap(c->okButton());
    EXPECT_EQ(c->result(), QDialog::Accepted);

    // To open, only a file that is there.
    auto open = chooser(false);
    EXPECT_EQ(open->name(), "") << "nothing proposed to open";
    tap(open->okButton());
    EXPECT_TRUE(open->refusal().contains("Tap a file"));
    tap(open->typeButton());
    tapKeys(open->keyboard(), "missing.csv");
    tap(open->keyboard()->key("ok"));
    tap(open->okButton());
    EXPECT_TRUE(open->refusal().contains("no file")) << open->refusal().toStdString();
    EXPECT_TRUE(open->isVisible());
    tapRow(open->list(), "kept.csv");
    tap(open->okButton());
    EXPECT_EQ(open->path(), dir() + "/kept.csv");
}

// ---- on the station, with taps alone ----

class TappedStation : public ViewedStation {
  protected:
    void SetUp() override {
        ViewedStation::SetUp();
        journal::SetStore(&journalStore);
        start();
        settle(1.0);
        // Each dialog is answered by the next step of the test's script, and checked first;
        // with none left, the watcher answers it with its escape answer.
        watcher.onDialog = [this](QDialog* d) {
            const std::string what = d->windowTitle().toStdString();
            shown.push_back(what);
            EXPECT_TRUE(screenArea().contains(d->frameGeometry())) << what << " off the screen";
            expectTouchable(d, what);
            // Every STOP of the bank in front stays within reach.
            for (int pump = 0; pump < operation::kPumpsPerBank; ++pump) {
                QWidget* stop = view.widget(BankPanel[0], BankRow[pump][windows::kPosStop]);
                const QRect at(stop->mapToGlobal(QPoint(0, 0)), stop->size());
                EXPECT_FALSE(d->frameGeometry().intersects(at)) << what << " covers STOP " << pump;
            }
            if (script.empty()) return;
            auto step = std::move(script.front());
            script.pop_front();
            step(d);
        };
    }
    void TearDown() override {
        EXPECT_TRUE(script.empty()) << script.size() << " steps of the script left";
        ViewedStation::TearDown();
        journal::SetStore(nullptr);
    }

    // A tap on a menu of the bank window's bar, then on one of its items.
    void tapMenu(const QString& menu, const QString& item) {
        auto* bank = qobject_cast<QMainWindow*>(view.window(BankPanel[0]));
        ASSERT_NE(bank, nullptr);
        QMenuBar* bar = bank->menuBar();
        for (QAction* title : bar->actions()) {
            if (title->text() != menu || title->menu() == nullptr) continue;
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                              bar->actionGeometry(title).center());
            QMenu* m = title->menu();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(m, kShownWithinMs)) << menu.toStdString();
            for (QAction* a : m->actions())
                if (a->text() == item) {
                    QTest::mouseClick(m, Qt::LeftButton, Qt::NoModifier,
                                      m->actionGeometry(a).center());
                    settle();
                    return;
                }
            FAIL() << "no item " << item.toStdString();
        }
        FAIL() << "no menu " << menu.toStdString();
    }

    // Script steps.
    static std::function<void(QDialog*)> chooser(std::function<void(TouchFileChooser*)> act) {
        return [act](QDialog* d) {
            auto* c = dynamic_cast<TouchFileChooser*>(d);
            ASSERT_NE(c, nullptr) << d->windowTitle().toStdString() << " is no file chooser";
            act(c);
        };
    }
    static std::function<void(QDialog*)> answer(const std::string& title, const QString& label) {
        return [title, label](QDialog* d) {
            auto* box = dynamic_cast<TouchMessage*>(d);
            ASSERT_NE(box, nullptr) << d->windowTitle().toStdString();
            EXPECT_EQ(box->windowTitle().toStdString(), title);
            for (QPushButton* b : box->buttons())
                if (b->text() == label) return tap(b);
            FAIL() << "no " << label.toStdString() << " on " << title;
        };
    }

    fs::path dataDir() const { return home / "data"; }
    static std::string contents(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    platform::MemoryJournal journalStore;
    std::deque<std::function<void(QDialog*)>> script;
    std::vector<std::string> shown;
};

// The keyboard opens holding the identification shown: mending one letter is a tap or two.
TEST_F(TappedStation, APumpIdentificationTypedOnTheKeyboard) {
    tap(view.widget(BankPanel[0], BankRow[2][windows::kPosPumpId]));
    settle();
    const int ids = hardware::PumpIdsPanel();
    ASSERT_NE(ids, 0);
    const int field = windows::IDS_FIELD_FIRST + 2;
    const QString before = QString::fromStdString(ui::GetCtrlText(ids, field));
    ASSERT_FALSE(before.isEmpty());
    script.push_back([&](QDialog* d) {
        auto* k = dynamic_cast<TouchKeyboard*>(d);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->text(), before);
        tap(k->key("clear"));
        tapKeys(k, "FP-0999XYZ");  // 8 characters at most
        tap(k->key("ok"));
    });
    tap(view.widget(ids, field));
    settle();
    EXPECT_EQ(ui::GetCtrlText(ids, field), "FP-0999X");
    script.push_back([](QDialog* d) {
        auto* k = dynamic_cast<TouchKeyboard*>(d);
        ASSERT_NE(k, nullptr);
        tap(k->key("backspace"));
        tapKeys(k, "Y");
        tap(k->key("ok"));
    });
    tap(view.widget(ids, field));
    settle();
    EXPECT_EQ(ui::GetCtrlText(ids, field), "FP-0999Y");
    EXPECT_EQ(shown, (std::vector<std::string>{"Pump Identification", "Pump Identification"}));
}

// Exported with the proposed name: every event the filters select, on every page, however
// many turns of the loop it takes, and a message says how many went to which file. Again to
// the same file, tapped in the list: "File Exists" is asked, No leaves the file as it was and
// Yes writes it anew, with the filter of the moment.
TEST_F(TappedStation, TheJournalExportedWithTapsOnly) {
    for (int i = 0; i < operation::kExportBatch + 100; ++i)
        journal::Record(i % 3, journal::Kind::Settings, "Setting " + std::to_string(i));
    tap(view.widget(BankPanel[0], windows::BANK_ALARMS));
    settle();
    const int journalPanel = operation::JournalPanel();
    ASSERT_NE(journalPanel, 0);
    QWidget* exportButton = view.widget(journalPanel, windows::JOURNAL_EXPORT);
    QString name;
    std::string told;
    const auto tell = [&told](QDialog* d) {
        told = dynamic_cast<TouchMessage*>(d)->text().toStdString();
    };
    script.push_back(chooser([&](TouchFileChooser* c) {
        name = c->name();
        tap(c->okButton());
    }));
    script.push_back(tell);
    tap(exportButton);
    settle();
    const fs::path file = home / "exports" / name.toStdString();
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists(dataDir() / name.toStdString())) << "never among the recordings";
    const std::string first = contents(file);
    EXPECT_EQ(first.rfind("Time (ms),Date and Time,Pump,Kind,Event,Alarm State\r\n", 0), 0u);
    EXPECT_EQ(first.find("STOP"), std::string::npos);
    const std::size_t events = journalStore.events.size();
    EXPECT_EQ(static_cast<std::size_t>(std::count(first.begin(), first.end(), '\n')), events + 1);
    EXPECT_EQ(told, std::to_string(events) + " events written to " + file.string() + ".");

    tap(view.widget(BankPanel[0], BankRow[2][windows::kPosStop]));  // a row the file lacks
    settle(1.0);
    ui::OperateIndex(journalPanel, windows::JOURNAL_PUMP_FILTER, 2 + 2);  // pump 3's only
    for (const char* yes : {"No", "Yes"}) {
        script.push_back(chooser([&](TouchFileChooser* c) {
            tapRow(c->list(), name);
            tap(c->okButton());
        }));
        script.push_back(answer("File Exists", yes));
        if (std::string(yes) == "Yes") script.push_back(tell);
        tap(exportButton);
        settle();
        EXPECT_TRUE(script.empty()) << yes;
        EXPECT_EQ(contents(file).find("STOP") != std::string::npos, std::string(yes) == "Yes")
            << "after " << yes;
    }
    std::istringstream lines(contents(file));
    std::string line;
    std::getline(lines, line);
    int pump3 = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.substr(37, 3), ",3,") << line;
        ++pump3;
    }
    EXPECT_EQ(told, std::to_string(pump3) + " events written to " + file.string() + ".");
    EXPECT_EQ(shown, (std::vector<std::string>{"Export Journal", "Export Journal", "Export Journal",
                                               "File Exists", "Export Journal", "File Exists",
                                               "Export Journal"}));
}

}  // namespace
